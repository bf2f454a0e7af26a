#pragma once

#include <QString>

#include <exception>

// A failure of a platform service, raised as an exception that carries a number and a
// description, as the untrapped-error report shows them. The numbers are fixed so that a
// user who reports "error 53" means the same thing on every machine.
class PlatformError : public std::exception
{
public:
    static constexpr int InvalidArgument = 5;
    static constexpr int OutOfMemory = 7;
    static constexpr int InternalError = 51;
    static constexpr int FileNotFound = 53;
    static constexpr int PermissionDenied = 70;
    static constexpr int DialogCancelled = 32755;

    PlatformError(int number, const QString &description)
        : m_number(number), m_description(description), m_what(description.toUtf8())
    {
    }

    int number() const noexcept { return m_number; }
    QString description() const { return m_description; }
    const char *what() const noexcept override { return m_what.constData(); }

private:
    int m_number;
    QString m_description;
    QByteArray m_what;
};
