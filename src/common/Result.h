// Result: a value or an error with a code and a text a user can read.
#pragma once

#include <string>
#include <system_error>
#include <utility>
#include <variant>

namespace zeb {

// What went wrong. `code` is either the errno of a failed system call (the
// generic category) or a module's own code, a scoped enum registered as an
// error code with a category of the module's name (bus::BusError,
// fax::BmpError, stations::ScheduleError): the two never share a number
// space. A module error caused by a failed system call carries that errno in
// `cause`.
struct Error {
    Error() = default;
    // A failed system call: its errno.
    Error(int errnoValue, std::string text)
        : code(errnoValue, std::generic_category()), message(std::move(text)) {}
    // A module's own code (or any error code), and the errno behind it.
    Error(std::error_code errorCode, std::string text, int causeErrno = 0)
        : code(errorCode), message(std::move(text)), cause(causeErrno) {}

    // The errno of the failed system call, 0 when none failed.
    int systemError() const {
        const bool system =
            code.category() == std::generic_category() || code.category() == std::system_category();
        return system ? code.value() : cause;
    }

    std::error_code code;
    std::string message;  // complete sentence for a log or a message box
    int cause = 0;        // errno behind a module's code
};

// The category of a module's codes: its name and a text for each code.
class ModuleErrorCategory : public std::error_category {
public:
    using Text = std::string (*)(int code);
    constexpr ModuleErrorCategory(const char* name, Text text) : name_(name), text_(text) {}
    const char* name() const noexcept override { return name_; }
    std::string message(int code) const override { return text_(code); }

private:
    const char* name_;
    Text text_;
};

template <class T>
class [[nodiscard]] Result {
public:
    Result(T value) : v_(std::move(value)) {}
    Result(Error error) : v_(std::move(error)) {}

    bool ok() const { return v_.index() == 0; }
    explicit operator bool() const { return ok(); }

    T& value() & { return std::get<0>(v_); }
    const T& value() const& { return std::get<0>(v_); }
    T&& value() && { return std::get<0>(std::move(v_)); }
    T* operator->() { return &std::get<0>(v_); }
    const T* operator->() const { return &std::get<0>(v_); }
    T& operator*() & { return value(); }
    const T& operator*() const& { return value(); }

    const Error& error() const { return std::get<1>(v_); }

private:
    std::variant<T, Error> v_;
};

// Result of an operation that has no value.
template <>
class [[nodiscard]] Result<void> {
public:
    Result() = default;
    Result(Error error) : error_(std::move(error)), ok_(false) {}

    bool ok() const { return ok_; }
    explicit operator bool() const { return ok_; }
    const Error& error() const { return error_; }

private:
    Error error_;
    bool ok_ = true;
};

inline Result<void> success() { return {}; }

}  // namespace zeb
