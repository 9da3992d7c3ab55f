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
    } catch (const std::exception& error) {
        handler(ErrorText(error));
    }
    return true;
}

ZulApplication::ZulApplication(int& argc, char** argv) : QApplication(argc, argv) {}

bool ZulApplication::notify(QObject* receiver, QEvent* event)
{
    return DeliverCatchingErrors([&] { return QApplication::notify(receiver, event); }, m_handler);
}

} // namespace zul
