#pragma once

#include <QString>
#include <exception>

// The program's failures: a message for the user and nothing else. The central handler
// shows the message; code that must go on after a failure catches it.
class ZilError : public std::exception {
public:
    explicit ZilError(QString message)
        : m_message(std::move(message))
        , m_utf8(m_message.toUtf8()) {}

    const QString &message() const noexcept { return m_message; }
    const char *what() const noexcept override { return m_utf8.constData(); }

private:
    QString m_message;
    QByteArray m_utf8;
};

// A text that should have been a whole number or a time of day.
class EConvertError : public ZilError {
public:
    using ZilError::ZilError;
};
