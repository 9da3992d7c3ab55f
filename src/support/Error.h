#pragma once

#include <QByteArray>
#include <QString>
#include <exception>

namespace zul {

// The one exception type of the program: an operation that fails throws it with the message
// text; the operation's own handler writes it to the log behind its prefix.
class Error : public std::exception
{
public:
    explicit Error(QString message) : m_message(std::move(message)), m_utf8(m_message.toUtf8()) {}

    const QString& message() const noexcept { return m_message; }
    const char* what() const noexcept override { return m_utf8.constData(); }

private:
    QString m_message;
    QByteArray m_utf8;
};

// The message of any exception that reaches an operation's handler: ours carry their text,
// the standard library's their what() in the local encoding.
inline QString ErrorText(const std::exception& error)
{
    if (const auto* own = dynamic_cast<const Error*>(&error))
        return own->message();
    return QString::fromLocal8Bit(error.what());
}

} // namespace zul
