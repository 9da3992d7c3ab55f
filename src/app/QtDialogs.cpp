#include "app/QtDialogs.h"

#include <QInputDialog>
#include <QMessageBox>
#include <QPushButton>

namespace zul {

namespace {

QMessageBox::Icon ToQt(OperatorDialogs::Icon icon)
{
    switch (icon) {
    case OperatorDialogs::Icon::Information:
        return QMessageBox::Information;
    case OperatorDialogs::Icon::Warning:
        return QMessageBox::Warning;
    case OperatorDialogs::Icon::Error:
        return QMessageBox::Critical;
    case OperatorDialogs::Icon::Question:
        return QMessageBox::Question;
    }
    return QMessageBox::NoIcon;
}

} // namespace

void QtDialogs::message(Icon icon, const QString& title, const QString& text)
{
    QMessageBox box(ToQt(icon), title, text, QMessageBox::NoButton, m_owner);
    box.addButton(QStringLiteral("OK"), QMessageBox::AcceptRole);
    box.exec();
}

bool QtDialogs::ask(Icon icon, const QString& title, const QString& text, bool safeDefault)
{
    QMessageBox box(ToQt(icon), title, text, QMessageBox::Yes | QMessageBox::No, m_owner);
    box.setDefaultButton(safeDefault ? QMessageBox::Yes : QMessageBox::No);
    return box.exec() == QMessageBox::Yes;
}

std::optional<QString> QtDialogs::input(const QString& caption, const QString& prompt, const QString& value)
{
    QInputDialog dialog(m_owner);
    dialog.setInputMode(QInputDialog::TextInput);
    dialog.setWindowTitle(caption);
    dialog.setLabelText(prompt);
    dialog.setTextValue(value);
    dialog.setOkButtonText(QStringLiteral("OK"));
    dialog.setCancelButtonText(QStringLiteral("Cancela"));
    if (dialog.exec() != QDialog::Accepted)
        return std::nullopt;
    return dialog.textValue();
}

} // namespace zul
