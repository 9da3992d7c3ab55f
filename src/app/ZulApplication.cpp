#include "app/ZulApplication.h"

namespace zul {

ZulApplication::ZulApplication(int& argc, char** argv) : QApplication(argc, argv) {}

bool ZulApplication::notify(QObject* receiver, QEvent* event)
{
    return DeliverCatchingErrors([&] { return QApplication::notify(receiver, event); }, m_handler);
}

} // namespace zul
