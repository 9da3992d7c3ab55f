#pragma once

#include "access/OnlineDisplay.h"

#include <QColor>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QString>
#include <QWidget>
#include <array>

namespace zul {

// The "Online" tab of the main window, a view of the display messages and passage panels
// (`OnlineDisplay`): the editors of the three display messages, with their "Data / Hora" and
// "Texto" choices, the entry and exit panels that show who is passing, and the two buttons
// that start and stop the online connection. What the operator types and chooses goes to the
// display state; every change of that state is shown here. The buttons' commands are the
// window's; the page only lays them out.
class OnlinePage : public QWidget
{
    Q_OBJECT
public:
    // `display` outlives the page.
    explicit OnlinePage(OnlineDisplay& display, QWidget* parent = nullptr);

    OnlineDisplay& display() const { return m_display; }

    QLineEdit* line1Editor(DisplayMessage message) const;
    QLineEdit* line2Editor(DisplayMessage message) const;
    QRadioButton* dateTimeButton(DisplayMessage message) const;
    QRadioButton* textButton(DisplayMessage message) const;

    // Colours in the Windows 0x00BBGGRR form.
    static QColor fromWindowsColor(int bgr);
    static int toWindowsColor(const QColor& color);
    // The background colour of an editor or a panel, Windows form.
    static int colorOf(const QWidget* widget);
    static void setColorOf(QWidget* widget, int bgr);

    // On entering an editor its text becomes exactly the 16 characters the display shows.
    static void FillEditorOnEnter(QLineEdit& editor);

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

    QLineEdit* edtTextoSaida = nullptr;
    QLineEdit* edtDisplaySaida = nullptr;
    QRadioButton* rbtDtHoraSaida = nullptr;
    QRadioButton* rbtTextoSaida = nullptr;
    QLabel* lblConfirmaSaida = nullptr;
    QFrame* panVerdeSaida = nullptr;

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
    static QFont DisplayFont();
    QLineEdit* createEditor(const QString& name, const QString& text, QWidget* parent);
    const Editors& editors(DisplayMessage message) const;
    bool moveBetweenLines(QLineEdit* from, int key);
    void bindToDisplay();
    void showMode(DisplayMessage message, bool dateTime);
    void showPanelColor(bool isEntry, int bgr);

    OnlineDisplay& m_display;
    std::array<Editors, 3> m_editors{};
};

} // namespace zul
