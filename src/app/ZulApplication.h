#pragma once

#include <QApplication>
#include <functional>

namespace zul {

// Receives the message of an error that escaped an event handler.
using ExceptionHandler = std::function<void(const QString& message)>;

// Runs `deliver`; an error escaping it (the program's Error or any standard exception) goes
// to `handler` and the event counts as handled, so the program carries on. Without a handler
// the error goes on up.
bool DeliverCatchingErrors(const std::function<bool()>& deliver, const ExceptionHandler& handler);

// The application object: every event passes through notify(), which is the one place where
// errors thrown by menu commands, timers and socket handlers can be caught before they would
// end the process.
class ZulApplication final : public QApplication
{
    Q_OBJECT
public:
    ZulApplication(int& argc, char** argv);

    void setExceptionHandler(ExceptionHandler handler) { m_handler = std::move(handler); }

    bool notify(QObject* receiver, QEvent* event) override;

private:
    ExceptionHandler m_handler;
};

} // namespace zul
