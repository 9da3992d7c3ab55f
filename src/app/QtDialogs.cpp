#include "app/QtDialogs.h"

#include <QInputDialog>
#include <QMessageBox>
#include <QPushButton>

using namespace Qt::StringLiterals;

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

void QtDialogs::StopWaiting(OperatorDialogs& unattended)
{
    m_unattended = &unattended;
    if (m_open)
        m_open->done(QDialog::Rejected);
}

bool QtDialogs::run(QDialog& box, int& result)
{
    const QPointer<QDialog> outer = m_open;
    m_open = &box;
    result = box.exec();
    m_open = outer;
    return m_unattended == nullptr;
}

void QtDialogs::message(Icon icon, const QString& title, const QString& text)
{
    if (m_unattended)
        return m_unattended->message(icon, title, text);
    QMessageBox box(ToQt(icon), title, text, QMessageBox::NoButton, m_owner);
    box.addButton(u"OK"_s, QMessageBox::AcceptRole);
    int result = 0;
    run(box, result);
}

bool QtDialogs::ask(Icon icon, const QString& title, const QString& text, bool safeDefault)
{
    if (m_unattended)
        return m_unattended->ask(icon, title, text, safeDefault);
    QMessageBox box(ToQt(icon), title, text, QMessageBox::Yes | QMessageBox::No, m_owner);
    box.setDefaultButton(safeDefault ? QMessageBox::Yes : QMessageBox::No);
    int result = 0;
    if (!run(box, result))
        return safeDefault;
    return result == QMessageBox::Yes;
}

std::optional<QString> QtDialogs::input(const QString& caption, const QString& prompt, const QString& value)
{
    if (m_unattended)
        return m_unattended->input(caption, prompt, value);
    QInputDialog dialog(m_owner);
    dialog.setInputMode(QInputDialog::TextInput);
    dialog.setWindowTitle(caption);
    dialog.setLabelText(prompt);
    dialog.setTextValue(value);
    dialog.setOkButtonText(u"OK"_s);
    dialog.setCancelButtonText(u"Cancela"_s);
    int result = 0;
    if (!run(dialog, result) || result != QDialog::Accepted)
        return std::nullopt;
    return dialog.textValue();
}

} // namespace zul
