// The core tests' own operator new: plain malloc and free, except that an
// AllocationCap can make large requests fail as an exhausted address space
// would. Every form of new and delete that does not take an alignment is
// replaced, so that each pair matches (also under AddressSanitizer).
#include <cstdlib>
#include <new>

#include "test_support.h"

namespace orv::test {
namespace {

thread_local std::size_t capBytes = SIZE_MAX;

}  // namespace

AllocationCap::AllocationCap(std::size_t bytes) : previous_(capBytes) { capBytes = bytes; }

AllocationCap::~AllocationCap() { capBytes = previous_; }

}  // namespace orv::test

void* operator new(std::size_t size) {
    if (size > orv::test::capBytes) throw std::bad_alloc();
    if (void* p = std::malloc(size == 0 ? 1 : size)) return p;
    throw std::bad_alloc();
}

void* operator new[](std::size_t size) { return ::operator new(size); }

void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
    try {
        return ::operator new(size);
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
}

void* operator new[](std::size_t size, const std::nothrow_t& tag) noexcept {
    return ::operator new(size, tag);
}

void operator delete(void* p) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t) noexcept { std::free(p); }
void operator delete(void* p, const std::nothrow_t&) noexcept { std::free(p); }
void operator delete[](void* p, const std::nothrow_t&) noexcept { std::free(p); }
