#include "manager/CoreApplication.h"

#include "support/Error.h"

#include <exception>

namespace zul {

bool DeliverCatchingErrors(const std::function<bool()>& deliver, const ExceptionHandler& handler)
{
    if (!handler)
        return deliver();
    try {
        return deliver();
    } catch (const std::exception& error) {
        handler(ErrorText(error));
    }
    return true;
}

ZulCoreApplication::ZulCoreApplication(int& argc, char** argv) : QCoreApplication(argc, argv) {}

bool ZulCoreApplication::notify(QObject* receiver, QEvent* event)
{
    return DeliverCatchingErrors([&] { return QCoreApplication::notify(receiver, event); }, m_handler);
}

} // namespace zul
