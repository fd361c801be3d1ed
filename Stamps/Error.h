#pragma once

#include <cassert>
#include <string>
#include <utility>
#include <variant>

namespace kelo {

// A failed operation on a file: the POSIX error number and a readable description.
struct Error {
    int code = 0;
    std::string description;

    // An error for the errno value `code`. Codes the C library does not know become EIO, so that
    // every error a caller sees is a real POSIX code.
    static Error fromErrno(int code);

    bool operator==(const Error &) const = default;
};

// The result of an operation that yields a value or an error.
template <typename T> class Expected {
public:
    Expected(T value) : m_state(std::move(value)) {}
    Expected(Error error) : m_state(std::move(error)) {}

    bool hasValue() const { return m_state.index() == 0; }
    explicit operator bool() const { return hasValue(); }

    const T &value() const & {
        assert(hasValue());
        return std::get<0>(m_state);
    }
    T &&value() && {
        assert(hasValue());
        return std::get<0>(std::move(m_state));
    }
    const Error &error() const {
        assert(!hasValue());
        return std::get<1>(m_state);
    }

    const T &operator*() const & { return value(); }
    const T *operator->() const { return &value(); }

private:
    std::variant<T, Error> m_state;
};

} // namespace kelo
