#pragma once

#include "support/OperatorDialogs.h"

#include <QPointer>
#include <QWidget>

class QDialog;

namespace zul {

// Operator dialogs of the desktop: modal Qt boxes with the program's own button captions.
class QtDialogs final : public OperatorDialogs
{
public:
    explicit QtDialogs(QWidget* owner = nullptr) : m_owner(owner) {}

    void setOwner(QWidget* owner) { m_owner = owner; }

    // The system asked the program to stop: nobody will be waited for any more. The box on
    // screen is closed with its safe answer and every later one goes to `unattended` (which
    // logs it and takes the safe default), so the stop is never held by a box.
    void StopWaiting(OperatorDialogs& unattended);

    void message(Icon icon, const QString& title, const QString& text) override;
    bool ask(Icon icon, const QString& title, const QString& text, bool safeDefault) override;
    std::optional<QString> input(const QString& caption, const QString& prompt,
                                 const QString& value) override;

private:
    // Runs the box modally; false when a stop request closed it.
    bool run(QDialog& box, int& result);

    QPointer<QWidget> m_owner;
    QPointer<QDialog> m_open;
    OperatorDialogs* m_unattended = nullptr;
};

} // namespace zul
