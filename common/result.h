#pragma once

#include <string>
#include <utility>
#include <variant>

namespace vz {

// What went wrong in a failed call: the call's name, its errno or library code, and
// the object it was about (a path, a key). Travels across component boundaries as a
// value; no exception ever does.
struct Error {
    std::string call;
    int code = 0;
    std::string detail;

    static Error fromErrno(std::string call, int code, std::string detail = {});
    static Error withText(std::string call, std::string detail);

    // "rename(/a/b): No such file or directory"
    std::string text() const;
};

struct Success {};

template<typename T>
class [[nodiscard]] Result {
public:
    Result(T value) : m_state(std::move(value)) {}
    Result(Error error) : m_state(std::move(error)) {}

    bool ok() const { return m_state.index() == 0; }
    explicit operator bool() const { return ok(); }

    T& value() & { return std::get<0>(m_state); }
    const T& value() const& { return std::get<0>(m_state); }
    // By value, so that a temporary's content outlives it (for example in a range-for).
    T value() && { return std::get<0>(std::move(m_state)); }
    T valueOr(T fallback) const { return ok() ? value() : std::move(fallback); }

    T& operator*() & { return value(); }
    const T& operator*() const& { return value(); }
    T operator*() && { return std::move(*this).value(); }
    T* operator->() { return &value(); }
    const T* operator->() const { return &value(); }

    const Error& error() const { return std::get<1>(m_state); }

private:
    std::variant<T, Error> m_state;
};

template<>
class [[nodiscard]] Result<void> {
public:
    Result(Success) {}
    Result(Error error) : m_error(std::move(error)), m_failed(true) {}

    bool ok() const { return !m_failed; }
    explicit operator bool() const { return ok(); }
    const Error& error() const { return m_error; }

private:
    Error m_error;
    bool m_failed = false;
};

// Drops a result on purpose. `why` says at the call site why a failure changes
// nothing for the caller, so no error is ever ignored without a reason.
template<typename R>
inline void ignoreError(const R& result, const char* why)
{
    static_cast<void>(result);
    static_cast<void>(why);
}

} // namespace vz

// Returns the error of a failed Result from the enclosing function.
#define VZ_TRY(expr)                          \
    do {                                      \
        auto vz_try_result_ = (expr);         \
        if (!vz_try_result_.ok())             \
            return vz_try_result_.error();    \
    } while (0)
