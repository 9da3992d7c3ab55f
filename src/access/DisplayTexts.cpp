#include "access/DisplayTexts.h"

#include "device/DeviceBinding.h"
#include "support/ActivityLog.h"
#include "support/Clock.h"
#include "support/Error.h"
#include "support/Messages.h"
#include "support/Win1252.h"

#include <QLineEdit>
#include <QRadioButton>
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
    return QString(text + QString(OnlinePage::DisplayWidth, u' ')).left(OnlinePage::DisplayWidth);
}

QString DisplayDateTime(const QDateTime& when, const Clock& clock)
{
    const QDateTime shown = when.isValid() ? when : clock.now();
    return u' ' + shown.toString(u"dd/MM/yy HH:mm"_s) + u' ';
}

void RefreshDisplayDates(OnlinePage& page, const Clock& clock)
{
    const QDateTime now = clock.now();
    for (const DisplayMessage message : kMessages) {
        if (page.dateTimeButton(message)->isChecked())
            page.line1Editor(message)->setText(DisplayDateTime(now, clock));
    }
}

int SendStandingMessage(DeviceBinding& device, const OnlinePage& page)
{
    using easyinner::EnviarMensagemPadraoOnLine;
    device.LastDeviceResult = 1;
    if (page.rbtDtHora->isChecked()) {
        const QByteArray line2 = toWin1252(page.edtDisplay->text());
        device.CallInto<EnviarMensagemPadraoOnLine>(device.LastDeviceResult, device.DeviceNumber, 1,
                                                    line2.constData());
    } else {
        const QByteArray text = toWin1252(
            TrataAcento(DisplayLine(page.edtTexto->text()) + page.edtDisplay->text(), device.log()));
        device.CallInto<EnviarMensagemPadraoOnLine>(device.LastDeviceResult, device.DeviceNumber, 0,
                                                    text.constData());
    }
    return device.LastDeviceResult;
}

int SendPassageMessage(DeviceBinding& device, const OnlinePage& page, bool isEntry)
{
    using easyinner::EnviarMensagemTemporariaOnLine;
    constexpr int seconds = 5;
    const DisplayMessage message = isEntry ? DisplayMessage::Entry : DisplayMessage::Exit;
    // Line 2 holds the badge name, which the database does not bound: the display shows 16
    // characters, and the controller refuses a text longer than its buffer altogether.
    const QString line2 = page.line2Editor(message)->text().left(OnlinePage::DisplayWidth);
    device.LastDeviceResult = 1;
    if (page.textButton(message)->isChecked()) {
        const QByteArray text =
            toWin1252(TrataAcento(DisplayLine(page.line1Editor(message)->text()) + line2, device.log()));
        device.CallInto<EnviarMensagemTemporariaOnLine>(device.LastDeviceResult, device.DeviceNumber, 0,
                                                        text.constData(), seconds);
    } else {
        const QByteArray text = toWin1252(TrataAcento(line2, device.log()));
        device.CallInto<EnviarMensagemTemporariaOnLine>(device.LastDeviceResult, device.DeviceNumber, 1,
                                                        text.constData(), seconds);
    }
    return device.LastDeviceResult;
}

void ChooseDateTimeDisplay(OnlinePage& page, DisplayMessage message, const QDateTime& serverTime,
                           const Clock& clock)
{
    QLineEdit* line1 = page.line1Editor(message);
    page.savedText(message) = line1->text();
    line1->setText(DisplayDateTime(serverTime, clock));
    line1->setReadOnly(true);
}

void ChooseTextDisplay(OnlinePage& page, DisplayMessage message)
{
    QLineEdit* line1 = page.line1Editor(message);
    line1->setText(page.savedText(message));
    line1->setReadOnly(false);
}

void FillEditorOnEnter(QLineEdit& editor)
{
    const QString filled = DisplayLine(editor.text());
    // Rewriting an unchanged text would throw the caret to the end.
    if (filled != editor.text())
        editor.setText(filled);
}

void PutDirectionTexts(OnlinePage& page, const TMessages& messages, bool normalMounting)
{
    page.edtTextoEntrada->setText(
        messages.Lookup(normalMounting ? u"ENTRADA_NORMAL"_s : u"ENTRADA_INVERTIDA"_s));
    page.edtTextoSaida->setText(messages.Lookup(normalMounting ? u"SAIDA_NORMAL"_s : u"SAIDA_INVERTIDA"_s));
}

void SwapDirectionTexts(OnlinePage& page, const TMessages& messages, bool normalMounting)
{
    const auto swap = [&](QLineEdit* editor, const QString& normalKey, const QString& invertedKey) {
        const QString left = messages.Lookup(normalMounting ? invertedKey : normalKey);
        if (editor->text() == left)
            editor->setText(messages.Lookup(normalMounting ? normalKey : invertedKey));
    };
    swap(page.edtTextoEntrada, u"ENTRADA_NORMAL"_s, u"ENTRADA_INVERTIDA"_s);
    swap(page.edtTextoSaida, u"SAIDA_NORMAL"_s, u"SAIDA_INVERTIDA"_s);
}

} // namespace zul
