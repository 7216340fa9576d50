// The date and time the field commands print, behind an interface so that
// tests and traces can fix them.
#pragma once

#include <QDateTime>

namespace kel {

class Clock
{
public:
    virtual ~Clock() = default;
    virtual QDateTime now() const = 0;
};

class SystemClock : public Clock
{
public:
    QDateTime now() const override { return QDateTime::currentDateTime(); }
};

class FixedClock : public Clock
{
public:
    explicit FixedClock(QDateTime at) : m_at(std::move(at)) {}
    QDateTime now() const override { return m_at; }

private:
    QDateTime m_at;
};

} // namespace kel
