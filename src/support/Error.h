#pragma once

#include <QByteArray>
#include <QString>
#include <exception>
#include <functional>

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

// Receives the message of an error that escaped an event handler.
using ExceptionHandler = std::function<void(const QString& message)>;

// Runs `slot`, the handler of a signal, so that no error leaves it into Qt's frames: an error
// escaping it goes to `handler` (the application's exception handler). Without a handler it
// goes on up, to the application object's notify().
template <class Slot> void RunGuarded(const ExceptionHandler& handler, Slot&& slot)
{
    if (!handler) {
        slot();
        return;
    }
    try {
        slot();
    } catch (const std::exception& error) {
        handler(ErrorText(error));
    }
}

} // namespace zul
