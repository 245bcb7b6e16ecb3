#pragma once
// An error raised by reusable code: a number (user-defined base plus offset),
// the source that raised it and a description, as the screens report them.
#include <QString>
#include <exception>
#include <cstdint>

constexpr std::uint32_t kUserErrorBase = 0x80040000u;

class CtfError : public std::exception {
public:
    CtfError(std::uint32_t number, QString source, QString description);
    std::uint32_t number() const { return m_number; }
    const QString &source() const { return m_source; }
    const QString &description() const { return m_description; }
    const char *what() const noexcept override { return m_what.constData(); }

private:
    std::uint32_t m_number;
    QString m_source;
    QString m_description;
    QByteArray m_what;
};

// Database and file failures: a description that names what failed.
// Number 0 means "not one of ours": the screens show the description only.
class DbError : public CtfError {
public:
    explicit DbError(const QString &description)
        : CtfError(0, QStringLiteral("ctfadmin data"), description) {}
};

class FileError : public CtfError {
public:
    explicit FileError(const QString &description)
        : CtfError(0, QStringLiteral("ctfadmin files"), description) {}
};
