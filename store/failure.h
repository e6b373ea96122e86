// The one error path shared by the store and both programs: a Failure carries the
// user-visible message; each program's main turns it into its error log and exit status.
#pragma once

#include <exception>
#include <string>

struct Failure : std::exception {
    std::string message;
    explicit Failure(std::string m) : message(std::move(m)) {}
    const char* what() const noexcept override { return message.c_str(); }
};

// Formats the message printf-style (the result is cut at 1023 bytes) and throws a Failure.
[[noreturn]] void fail(const char* fmt, ...) __attribute__((format(printf, 1, 2)));
