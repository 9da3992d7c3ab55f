#pragma once

#include "support/Error.h"

#include <QCoreApplication>
#include <functional>

namespace zul {

// Runs `deliver`; an error escaping it (the program's Error or any standard exception) goes
// to `handler` and the event counts as handled, so the program carries on. Without a handler
// the error goes on up.
bool DeliverCatchingErrors(const std::function<bool()>& deliver, const ExceptionHandler& handler);

// The application object of a run without a window (headless, service): no GUI platform is
// needed. Every event passes through notify(), where an error thrown by a timer or socket
// handler is caught before it would end the process.
class ZulCoreApplication final : public QCoreApplication
{
    Q_OBJECT
public:
    ZulCoreApplication(int& argc, char** argv);

    void setExceptionHandler(ExceptionHandler handler) { m_handler = std::move(handler); }

    bool notify(QObject* receiver, QEvent* event) override;

private:
    ExceptionHandler m_handler;
};

} // namespace zul
