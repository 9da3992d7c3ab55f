#include "access/DisplayTexts.h"

#include "device/DeviceBinding.h"
#include "support/ActivityLog.h"
#include "support/Clock.h"
#include "support/Error.h"
#include "support/Messages.h"
#include "support/Win1252.h"

#include <exception>

namespace zul {

using namespace Qt::StringLiterals;

namespace {

// Position by position: the letter of the first table becomes the letter of the second.
const QString kAccented = u"áéíóúàèìòùäëïöüâêîôûãõñçÁÉÍÓÚÀÈÌÒÙÄËÏÖÜÂÊÎÔÛÃÕÑÇ"_s;
const QString kPlain = u"aeiouaeiouaeiouaeiouaoncAEIOUAEIOUAEIOUAEIOUAONC"_s;

const DisplayMessage kMessages[] = {DisplayMessage::Standing, DisplayMessage::Entry, DisplayMessage::Exit};

} // namespace

QString TrataAcento(const QString& text, const ActivityLog& log)
{
    QString folded = text;
    try {
        for (QChar& c : folded) {
            const qsizetype at = kAccented.indexOf(c);
            if (at >= 0)
                c = kPlain.at(at);
        }
    } catch (const std::exception& error) {
        log.write(u"TrataAcento - ERRO: "_s + ErrorText(error));
    }
    return folded;
}

QString DisplayLine(const QString& text)
{
    return QString(text + QString(OnlineDisplay::DisplayWidth, u' ')).left(OnlineDisplay::DisplayWidth);
}

QString DisplayDateTime(const QDateTime& when, const Clock& clock)
{
    const QDateTime shown = when.isValid() ? when : clock.now();
    return u' ' + shown.toString(u"dd/MM/yy HH:mm"_s) + u' ';
}

void RefreshDisplayDates(OnlineDisplay& display, const Clock& clock)
{
    const QDateTime now = clock.now();
    for (const DisplayMessage message : kMessages) {
        if (display.dateTimeMode(message))
            display.setLine1(message, DisplayDateTime(now, clock));
    }
}

int SendStandingMessage(DeviceBinding& device, const OnlineDisplay& display)
{
    using easyinner::EnviarMensagemPadraoOnLine;
    if (display.dateTimeMode(DisplayMessage::Standing)) {
        const QByteArray line2 = toWin1252(display.line2(DisplayMessage::Standing));
        return device.Invoke<EnviarMensagemPadraoOnLine>(device.deviceNumber(), 1, line2.constData());
    }
    const QByteArray text = toWin1252(TrataAcento(DisplayLine(display.line1(DisplayMessage::Standing)) +
                                                      display.line2(DisplayMessage::Standing),
                                                  device.log()));
    return device.Invoke<EnviarMensagemPadraoOnLine>(device.deviceNumber(), 0, text.constData());
}

int SendPassageMessage(DeviceBinding& device, const OnlineDisplay& display, bool isEntry)
{
    using easyinner::EnviarMensagemTemporariaOnLine;
    constexpr int seconds = 5;
    const DisplayMessage message = isEntry ? DisplayMessage::Entry : DisplayMessage::Exit;
    // Line 2 holds the badge name, which the database does not bound: the display shows 16
    // characters, and the controller refuses a text longer than its buffer altogether.
    const QString line2 = display.line2(message).left(OnlineDisplay::DisplayWidth);
    if (!display.dateTimeMode(message)) {
        const QByteArray text =
            toWin1252(TrataAcento(DisplayLine(display.line1(message)) + line2, device.log()));
        return device.Invoke<EnviarMensagemTemporariaOnLine>(device.deviceNumber(), 0, text.constData(),
                                                             seconds);
    } else {
        const QByteArray text = toWin1252(TrataAcento(line2, device.log()));
        return device.Invoke<EnviarMensagemTemporariaOnLine>(device.deviceNumber(), 1, text.constData(),
                                                             seconds);
    }
}

void ChooseDateTimeDisplay(OnlineDisplay& display, DisplayMessage message, const QDateTime& serverTime,
                           const Clock& clock)
{
    display.setSavedText(message, display.line1(message));
    display.setLine1(message, DisplayDateTime(serverTime, clock));
    display.setDateTimeMode(message, true);
}

void ChooseTextDisplay(OnlineDisplay& display, DisplayMessage message)
{
    display.setLine1(message, display.savedText(message));
    display.setDateTimeMode(message, false);
}

void PutDirectionTexts(OnlineDisplay& display, const TMessages& messages, bool normalMounting)
{
    display.setLine1(DisplayMessage::Entry,
                     messages.Lookup(normalMounting ? u"ENTRADA_NORMAL"_s : u"ENTRADA_INVERTIDA"_s));
    display.setLine1(DisplayMessage::Exit,
                     messages.Lookup(normalMounting ? u"SAIDA_NORMAL"_s : u"SAIDA_INVERTIDA"_s));
}

void SwapDirectionTexts(OnlineDisplay& display, const TMessages& messages, bool normalMounting)
{
    const auto swap = [&](DisplayMessage message, const QString& normalKey, const QString& invertedKey) {
        const QString left = messages.Lookup(normalMounting ? invertedKey : normalKey);
        if (display.line1(message) == left)
            display.setLine1(message, messages.Lookup(normalMounting ? normalKey : invertedKey));
    };
    swap(DisplayMessage::Entry, u"ENTRADA_NORMAL"_s, u"ENTRADA_INVERTIDA"_s);
    swap(DisplayMessage::Exit, u"SAIDA_NORMAL"_s, u"SAIDA_INVERTIDA"_s);
}

} // namespace zul
