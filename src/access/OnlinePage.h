#pragma once

#include <QColor>
#include <QDateTime>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QString>
#include <QTimer>
#include <QWidget>
#include <array>
#include <functional>

namespace zul {

class Clock;

// The three messages the operator composes for the turnstile display.
enum class DisplayMessage { Standing, Entry, Exit };

// The "Online" tab of the main window: the editors of the three display messages, with their
// "Data / Hora" and "Texto" choices, the entry and exit panels that show who is passing, and
// the two buttons that start and stop the online connection. The buttons' commands are the
// window's; the page only lays them out.
class OnlinePage : public QWidget
{
    Q_OBJECT
public:
    // `clock` gives the current time of the date-time previews; it outlives the page.
    explicit OnlinePage(const Clock& clock, QWidget* parent = nullptr);

    // Where "Data / Hora" takes the time it previews: the database server's clock. Without a
    // source, or when it answers an invalid time, the local clock is shown.
    void SetServerTimeSource(std::function<QDateTime()> source);
    QDateTime ServerTime() const;
    const Clock& clock() const { return m_clock; }

    QLineEdit* line1Editor(DisplayMessage message) const;
    QLineEdit* line2Editor(DisplayMessage message) const;
    QRadioButton* dateTimeButton(DisplayMessage message) const;
    QRadioButton* textButton(DisplayMessage message) const;
    // The free text line 1 held before "Data / Hora" was chosen; empty until then.
    QString& savedText(DisplayMessage message);

    // Colours in the Windows 0x00BBGGRR form. The entry and exit panels are drawn in
    // PanelColor and blink between it and BlinkColor.
    static constexpr int PanelColor = 184990;
    static constexpr int BlinkColor = 3800524;
    static QColor fromWindowsColor(int bgr);
    static int toWindowsColor(const QColor& color);
    // The background colour of an editor or a panel, Windows form.
    static int colorOf(const QWidget* widget);
    static void setColorOf(QWidget* widget, int bgr);

    static constexpr int DisplayWidth = 16;

    QLineEdit* edtTexto = nullptr;
    QLineEdit* edtDisplay = nullptr;
    QRadioButton* rbtDtHora = nullptr;
    QRadioButton* rbtTexto = nullptr;

    QLineEdit* edtTextoEntrada = nullptr;
    QLineEdit* edtDisplayEntrada = nullptr;
    QRadioButton* rbtDtHoraEntrada = nullptr;
    QRadioButton* rbtTextoEntrada = nullptr;
    QLabel* lblConfirmaEntrada = nullptr;
    QFrame* panVerdeEntrada = nullptr;
    QTimer* tmrPassaEntr = nullptr;

    QLineEdit* edtTextoSaida = nullptr;
    QLineEdit* edtDisplaySaida = nullptr;
    QRadioButton* rbtDtHoraSaida = nullptr;
    QRadioButton* rbtTextoSaida = nullptr;
    QLabel* lblConfirmaSaida = nullptr;
    QFrame* panVerdeSaida = nullptr;
    QTimer* tmrPassaSaida = nullptr;

    QPushButton* tcbIniciar = nullptr;
    QPushButton* tcbFechar = nullptr;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    struct Editors
    {
        QLineEdit* line1;
        QLineEdit* line2;
        QRadioButton* dateTime;
        QRadioButton* text;
    };
    QWidget* createMessageGroup(DisplayMessage message, const QString& title);
    QLineEdit* createEditor(const QString& name, const QString& text, QWidget* parent);
    const Editors& editors(DisplayMessage message) const;
    bool moveBetweenLines(QLineEdit* from, int key);

    const Clock& m_clock;
    std::function<QDateTime()> m_serverTime;
    std::array<Editors, 3> m_editors{};
    std::array<QString, 3> m_saved;
};

} // namespace zul
