#pragma once

#include "manager/CoreApplication.h"

#include <QApplication>

namespace zul {

// The application object of a run with a window: every event passes through notify(), which
// is the one place where errors thrown by menu commands, timers and socket handlers can be
// caught before they would end the process.
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
