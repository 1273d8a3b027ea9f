#pragma once
// Error values for operations that can fail on outside things (files, ports, workbooks).
// A failure carries a message a person can act on: what failed, on which file, sheet,
// cell or port, and why.

#include <optional>
#include <string>
#include <utility>
#include <variant>

namespace tivaro {

enum class Errc {
    Failed,       // any failure not listed below
    NotFound,     // a lookup found nothing (not a fault of the file or device)
    Io,           // reading or writing a file or device failed
    BadFormat,    // the input is not in the expected format, or is damaged
    NoSuchSheet,  // the workbook has no sheet of that name
    BadAddress,   // a cell or range address is malformed or out of range
    Closed,       // the workbook or device is not open
    ReadOnly,     // the file, or the folder it would be saved in, cannot be written
    Locked,       // another user or machine holds the file open, or did
};

struct Error {
    Errc code = Errc::Failed;
    std::string message;
};

inline Error MakeError(Errc code, std::string message) {
    return Error{code, std::move(message)};
}

// Either a value or an Error.
template <class T>
class [[nodiscard]] Result {
public:
    Result(T value) : state_(std::in_place_index<0>, std::move(value)) {}
    Result(Error error) : state_(std::in_place_index<1>, std::move(error)) {}

    bool ok() const { return state_.index() == 0; }
    explicit operator bool() const { return ok(); }

    T& value() & { return std::get<0>(state_); }
    const T& value() const& { return std::get<0>(state_); }
    T&& value() && { return std::get<0>(std::move(state_)); }
    T* operator->() { return &value(); }
    const T* operator->() const { return &value(); }
    T& operator*() & { return value(); }
    const T& operator*() const& { return value(); }

    const Error& error() const { return std::get<1>(state_); }

private:
    std::variant<T, Error> state_;
};

template <>
class [[nodiscard]] Result<void> {
public:
    Result() = default;
    Result(Error error) : error_(std::move(error)) {}

    bool ok() const { return !error_.has_value(); }
    explicit operator bool() const { return ok(); }
    const Error& error() const { return *error_; }

private:
    std::optional<Error> error_;
};

using Status = Result<void>;

}  // namespace tivaro
