// Result of an operation that can be refused: a value, or a failure with a
// message for the user.
//
// The convention: an operation that can fail returns a Result or a Status,
// its failure worded for the user; a Result<bool> answers a yes/no question
// only, and "is there more" is a Next, never a `false`. A caller passes a
// failure on as it is, `if (!r) return r.failure();`, into a Status, a Result
// of any type or a Next alike; it words a failure anew only to add what the
// user needs to know (`fail("cannot read " + name + ": " + r.error())`). What
// reports to someone else besides (the frame pipeline's sinks) returns the
// same Status, so that its caller can pass it on.
#pragma once

#include <string>
#include <utility>
#include <variant>

namespace orv {

// Why an operation was refused or failed, worded for the user.
struct Failure {
    std::string message;
};

// A value of type T, or the failure E that took its place. E is `Failure` in
// the cores; a caller that needs more than the words (the command line's exit
// code) brings its own.
template <class T, class E = Failure>
class [[nodiscard]] Result {
  public:
    Result(T value) : data_(std::move(value)) {}
    Result(E failure) : data_(std::move(failure)) {}

    bool ok() const { return std::holds_alternative<T>(data_); }
    explicit operator bool() const { return ok(); }
    const T& value() const { return std::get<T>(data_); }
    T& value() { return std::get<T>(data_); }
    // The failure, to pass on as it is; only for a result that failed.
    const E& failure() const { return std::get<E>(data_); }
    const std::string& error() const { return failure().message; }

  private:
    std::variant<T, E> data_;
};

// A success that carries no value.
struct Done {};
using Status = Result<Done>;

inline Failure fail(std::string message) { return Failure{std::move(message)}; }

// The end of a stream, as a value of its own.
struct EndOfStream {};

// One step through a stream: the next item (Done for a stream whose items
// are read elsewhere), the end of the stream, or the failure that stopped it.
template <class T = Done>
class [[nodiscard]] Next {
  public:
    Next(T item) : data_(std::move(item)) {}
    Next(EndOfStream end) : data_(end) {}
    Next(Failure failure) : data_(std::move(failure)) {}

    bool ok() const { return !std::holds_alternative<Failure>(data_); }
    bool ended() const { return std::holds_alternative<EndOfStream>(data_); }
    const T& value() const { return std::get<T>(data_); }
    const Failure& failure() const { return std::get<Failure>(data_); }
    const std::string& error() const { return failure().message; }

  private:
    std::variant<T, EndOfStream, Failure> data_;
};

}  // namespace orv
