// Runs a fuzz target's entry point without libFuzzer over every regular file
// of each folder given (in name order) and each file given, so that CTest
// replays the corpora under the sanitizers.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <vector>

#include "../support/files.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);

int main(int argc, char** argv) {
    std::vector<std::filesystem::path> inputs;
    for (int i = 1; i < argc; ++i) {
        std::error_code ec;
        const auto first = inputs.size();
        if (std::filesystem::is_regular_file(argv[i], ec)) inputs.push_back(argv[i]);
        for (const auto& e : std::filesystem::directory_iterator(argv[i], ec))
            if (e.is_regular_file()) inputs.push_back(e.path());
        std::sort(inputs.begin() + static_cast<std::ptrdiff_t>(first), inputs.end());
    }
    if (inputs.empty())
        return std::fprintf(stderr, "usage: %s CORPUS|INPUT... (none)\n", argv[0]), 2;
    for (const auto& p : inputs) {
        std::printf("replay: %s\n", p.c_str());  // before it runs: a failure shows which
        std::fflush(stdout);
        const std::string bytes = orv::test::readFile(p);
        // Exactly the input's size, so that AddressSanitizer sees a read past it.
        const auto data = std::make_unique<std::uint8_t[]>(bytes.size());
        std::copy(bytes.begin(), bytes.end(), data.get());
        LLVMFuzzerTestOneInput(data.get(), bytes.size());
    }
}
