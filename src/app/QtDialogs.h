#pragma once

#include "support/OperatorDialogs.h"

#include <QPointer>
#include <QWidget>

namespace zul {

// Operator dialogs of the desktop: modal Qt boxes with the program's own button captions.
class QtDialogs final : public OperatorDialogs
{
public:
    explicit QtDialogs(QWidget* owner = nullptr) : m_owner(owner) {}

    void setOwner(QWidget* owner) { m_owner = owner; }

    void message(Icon icon, const QString& title, const QString& text) override;
    bool ask(Icon icon, const QString& title, const QString& text, bool safeDefault) override;
    std::optional<QString> input(const QString& caption, const QString& prompt,
                                 const QString& value) override;

private:
    QPointer<QWidget> m_owner;
};

} // namespace zul
