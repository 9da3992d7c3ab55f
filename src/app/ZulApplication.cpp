#include "app/ZulApplication.h"

#include "support/Error.h"

#include <exception>

namespace zul {

bool DeliverCatchingErrors(const std::function<bool()>& deliver, const ExceptionHandler& handler)
{
    if (!handler)
        return deliver();
    try {
        return deliver();
    } catch (const Error& error) {
        handler(error.message());
    } catch (const std::exception& error) {
        handler(QString::fromLocal8Bit(error.what()));
    }
    return true;
}

ZulApplication::ZulApplication(int& argc, char** argv) : QApplication(argc, argv) {}

bool ZulApplication::notify(QObject* receiver, QEvent* event)
{
    return DeliverCatchingErrors([&] { return QApplication::notify(receiver, event); }, m_handler);
}

} // namespace zul
