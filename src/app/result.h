// The outcome of an operation that can be refused.
//
// A refusal carries the number of the system's message that says why and a
// detail (the path, the line number, the system's own error text) so that
// nothing is lost on the way to the user: the window shows the message with
// the detail, keltool prints both on stderr, the console logs them. Only the
// front end decides how a refusal is shown and whether the program ends.
#pragma once

#include <string>
#include <utility>
#include <variant>

namespace kel {

// A refusal that is not one of the system's numbered messages (a file that
// cannot be read, a type this build does not convert): the detail says all.
inline constexpr int kNoMessage = -1;

struct Refusal
{
    int message = kNoMessage;
    std::string detail;
};

// A value, or the refusal that took its place.
template <class T> class [[nodiscard]] Result
{
public:
    Result(T value) : m_value(std::move(value)) {}
    Result(Refusal refusal) : m_value(std::move(refusal)) {}

    bool ok() const { return m_value.index() == 0; }
    explicit operator bool() const { return ok(); }

    // Only when ok().
    T &value() { return std::get<0>(m_value); }
    const T &value() const { return std::get<0>(m_value); }
    T *operator->() { return &value(); }
    const T *operator->() const { return &value(); }
    T &operator*() { return value(); }
    const T &operator*() const { return value(); }

    // Only when !ok().
    const Refusal &refusal() const { return std::get<1>(m_value); }
    // 0 when ok, else the refusal's message number.
    int message() const { return ok() ? 0 : refusal().message; }

private:
    std::variant<T, Refusal> m_value;
};

// An operation that gives nothing back but can be refused.
class [[nodiscard]] Status
{
public:
    Status() = default; // done
    Status(Refusal refusal) : m_refused(true), m_refusal(std::move(refusal)) {}

    bool ok() const { return !m_refused; }
    explicit operator bool() const { return ok(); }
    const Refusal &refusal() const { return m_refusal; }
    int message() const { return m_refused ? m_refusal.message : 0; }

private:
    bool m_refused = false;
    Refusal m_refusal;
};

inline Refusal refusal(int message, std::string detail = {})
{
    return Refusal{message, std::move(detail)};
}

} // namespace kel
