#include "access/OnlineDisplay.h"

namespace zul {

using namespace Qt::StringLiterals;

namespace {

size_t indexOf(bool isEntry)
{
    return isEntry ? 0 : 1;
}

} // namespace

OnlineDisplay::OnlineDisplay(const Clock& clock, QObject* parent) : QObject(parent), m_clock(clock)
{
    tmrPassaEntr = new QTimer(this);
    tmrPassaEntr->setObjectName(u"tmrPassaEntr"_s);
    tmrPassaSaida = new QTimer(this);
    tmrPassaSaida->setObjectName(u"tmrPassaSaida"_s);
    for (QTimer* timer : {tmrPassaEntr, tmrPassaSaida})
        timer->setInterval(BlinkIntervalMs);

    // Design state: the standing message shows the controller's clock, the passage messages
    // their own line 1.
    at(DisplayMessage::Standing) = {u" 19/03/08 08:00 "_s, u"VORLUND SOFTWARE"_s, true, QString()};
    at(DisplayMessage::Entry) = {u" Entrada >>>>>>"_s, QString(), false, QString()};
    at(DisplayMessage::Exit) = {u" <<<<<<  Saída"_s, QString(), false, QString()};
    m_confirmation = {u"Confirmar passagem"_s, u"Confirmar Passagem"_s};
}

OnlineDisplay::Message& OnlineDisplay::at(DisplayMessage message)
{
    return m_messages[static_cast<size_t>(message)];
}

const OnlineDisplay::Message& OnlineDisplay::at(DisplayMessage message) const
{
    return m_messages[static_cast<size_t>(message)];
}

void OnlineDisplay::SetServerTimeSource(std::function<QDateTime()> source)
{
    m_serverTime = std::move(source);
}

QDateTime OnlineDisplay::ServerTime() const
{
    return m_serverTime ? m_serverTime() : QDateTime();
}

QString OnlineDisplay::line1(DisplayMessage message) const
{
    return at(message).line1;
}

QString OnlineDisplay::line2(DisplayMessage message) const
{
    return at(message).line2;
}

void OnlineDisplay::setLine1(DisplayMessage message, const QString& text)
{
    if (at(message).line1 == text)
        return;
    at(message).line1 = text;
    Q_EMIT lineChanged(message, 1, text);
}

void OnlineDisplay::setLine2(DisplayMessage message, const QString& text)
{
    if (at(message).line2 == text)
        return;
    at(message).line2 = text;
    Q_EMIT lineChanged(message, 2, text);
}

bool OnlineDisplay::dateTimeMode(DisplayMessage message) const
{
    return at(message).dateTime;
}

void OnlineDisplay::setDateTimeMode(DisplayMessage message, bool dateTime)
{
    if (at(message).dateTime == dateTime)
        return;
    at(message).dateTime = dateTime;
    Q_EMIT modeChanged(message, dateTime);
}

QString OnlineDisplay::savedText(DisplayMessage message) const
{
    return at(message).saved;
}

void OnlineDisplay::setSavedText(DisplayMessage message, const QString& text)
{
    at(message).saved = text;
}

QString OnlineDisplay::confirmation(bool isEntry) const
{
    return m_confirmation[indexOf(isEntry)];
}

void OnlineDisplay::setConfirmation(bool isEntry, const QString& text)
{
    if (m_confirmation[indexOf(isEntry)] == text)
        return;
    m_confirmation[indexOf(isEntry)] = text;
    Q_EMIT confirmationChanged(isEntry, text);
}

int OnlineDisplay::panelColor(bool isEntry) const
{
    return m_panelColor[indexOf(isEntry)];
}

void OnlineDisplay::setPanelColor(bool isEntry, int bgr)
{
    if (m_panelColor[indexOf(isEntry)] == bgr)
        return;
    m_panelColor[indexOf(isEntry)] = bgr;
    Q_EMIT panelColorChanged(isEntry, bgr);
}

} // namespace zul
