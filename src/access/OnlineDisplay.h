#pragma once

#include <QDateTime>
#include <QObject>
#include <QString>
#include <QTimer>
#include <array>
#include <functional>

namespace zul {

class Clock;

// The three messages the operator composes for the turnstile display.
enum class DisplayMessage { Standing, Entry, Exit };

// What the "Online" tab shows, without its widgets: the two lines of the three display
// messages with their "Data / Hora" or "Texto" choice, and the entry and exit panels that show
// who is passing (the confirmation caption and the panel colour, blinked by `tmrPassaEntr` and
// `tmrPassaSaida`). The window's page is a view of it: what the operator types comes here, and
// every change made here is signalled so the page can show it.
class OnlineDisplay : public QObject
{
    Q_OBJECT
public:
    // `clock` gives the current time of the date-time previews; it outlives this object.
    explicit OnlineDisplay(const Clock& clock, QObject* parent = nullptr);

    // Where "Data / Hora" takes the time it previews: the database server's clock. Without a
    // source, or when it answers an invalid time, the local clock is shown.
    void SetServerTimeSource(std::function<QDateTime()> source);
    QDateTime ServerTime() const;
    const Clock& clock() const { return m_clock; }

    QString line1(DisplayMessage message) const;
    QString line2(DisplayMessage message) const;
    void setLine1(DisplayMessage message, const QString& text);
    void setLine2(DisplayMessage message, const QString& text);
    // True while "Data / Hora" is chosen: line 1 previews the time and cannot be typed in.
    bool dateTimeMode(DisplayMessage message) const;
    void setDateTimeMode(DisplayMessage message, bool dateTime);
    // The free text line 1 held before "Data / Hora" was chosen; empty until then.
    QString savedText(DisplayMessage message) const;
    void setSavedText(DisplayMessage message, const QString& text);

    // The caption under the entry (true) or exit panel: "Confirmar passagem", "Passou", ...
    QString confirmation(bool isEntry) const;
    void setConfirmation(bool isEntry, const QString& text);
    // The colour of the entry or exit panel and its two lines, Windows form 0x00BBGGRR.
    int panelColor(bool isEntry) const;
    void setPanelColor(bool isEntry, int bgr);
    QTimer* blinkTimer(bool isEntry) const { return isEntry ? tmrPassaEntr : tmrPassaSaida; }

    // The entry and exit panels are drawn in PanelColor and blink between it and BlinkColor.
    static constexpr int PanelColor = 184990;
    static constexpr int BlinkColor = 3800524;
    static constexpr int BlinkIntervalMs = 300;
    static constexpr int DisplayWidth = 16;

    QTimer* tmrPassaEntr = nullptr;
    QTimer* tmrPassaSaida = nullptr;

Q_SIGNALS:
    void lineChanged(zul::DisplayMessage message, int line, const QString& text);
    void modeChanged(zul::DisplayMessage message, bool dateTime);
    void confirmationChanged(bool isEntry, const QString& text);
    void panelColorChanged(bool isEntry, int bgr);

private:
    struct Message
    {
        QString line1;
        QString line2;
        bool dateTime = false;
        QString saved;
    };
    Message& at(DisplayMessage message);
    const Message& at(DisplayMessage message) const;

    const Clock& m_clock;
    std::function<QDateTime()> m_serverTime;
    std::array<Message, 3> m_messages;
    std::array<QString, 2> m_confirmation;
    std::array<int, 2> m_panelColor{PanelColor, PanelColor};
};

} // namespace zul
