#include "app/OnlinePage.h"

#include "access/DisplayTexts.h"

#include <QEvent>
#include <QFont>
#include <QFontDatabase>
#include <QFontInfo>
#include <QFontMetrics>
#include <QFrame>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>
#include <QValidator>

namespace zul {

using namespace Qt::StringLiterals;

namespace {

// Limits what the operator types to the 16 characters of a display line. Unlike a maximum
// length it leaves texts the program puts in whole (a long badge name reaches the controller
// as it was read), and still lets the operator shorten such a text.
class TypedLengthValidator final : public QValidator
{
public:
    TypedLengthValidator(QLineEdit* editor, int limit)
        : QValidator(editor), m_limit(limit), m_length(editor->text().size())
    {
        // The editor already holds the edited text while it asks; the length before the edit
        // is the one of its last change.
        connect(editor, &QLineEdit::textChanged, this,
                [this](const QString& text) { m_length = text.size(); });
    }

    State validate(QString& input, int&) const override
    {
        return input.size() > m_limit && input.size() > m_length ? Invalid : Acceptable;
    }

private:
    int m_limit;
    qsizetype m_length;
};

int indexOf(DisplayMessage message)
{
    return static_cast<int>(message);
}

} // namespace

OnlinePage::OnlinePage(OnlineDisplay& display, QWidget* parent) : QWidget(parent), m_display(display)
{
    setObjectName(u"OnlinePage"_s);

    auto* groups = new QHBoxLayout;
    groups->setSpacing(6);
    groups->addWidget(createMessageGroup(DisplayMessage::Standing, u"Mensagem Padrão"_s));
    groups->addWidget(createMessageGroup(DisplayMessage::Entry, u"Entrada"_s));
    groups->addWidget(createMessageGroup(DisplayMessage::Exit, u"Saída"_s));

    tcbIniciar = new QPushButton(u"Iniciar &Conexão"_s, this);
    tcbIniciar->setObjectName(u"tcbIniciar"_s);
    tcbFechar = new QPushButton(u"Fechar Cone&xão"_s, this);
    tcbFechar->setObjectName(u"tcbFechar"_s);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    for (QPushButton* button : {tcbIniciar, tcbFechar}) {
        button->setMinimumSize(140, 34);
        buttons->addWidget(button);
    }

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(6, 6, 6, 6);
    layout->setSpacing(6);
    layout->addLayout(groups);
    layout->addStretch(1);
    layout->addLayout(buttons);

    for (const DisplayMessage message :
         {DisplayMessage::Standing, DisplayMessage::Entry, DisplayMessage::Exit}) {
        showMode(message, m_display.dateTimeMode(message));
    }
    showPanelColor(true, m_display.panelColor(true));
    showPanelColor(false, m_display.panelColor(false));
    // Wired after the state is shown, so building the page chooses nothing.
    bindToDisplay();
}

void OnlinePage::bindToDisplay()
{
    for (const DisplayMessage message :
         {DisplayMessage::Standing, DisplayMessage::Entry, DisplayMessage::Exit}) {
        const Editors& e = editors(message);
        connect(e.line1, &QLineEdit::textChanged, this,
                [this, message](const QString& text) { m_display.setLine1(message, text); });
        connect(e.line2, &QLineEdit::textChanged, this,
                [this, message](const QString& text) { m_display.setLine2(message, text); });
        connect(e.dateTime, &QRadioButton::toggled, this, [this, message](bool on) {
            if (on && !m_display.dateTimeMode(message))
                ChooseDateTimeDisplay(m_display, message, m_display.ServerTime(), m_display.clock());
        });
        connect(e.text, &QRadioButton::toggled, this, [this, message](bool on) {
            if (on && m_display.dateTimeMode(message))
                ChooseTextDisplay(m_display, message);
        });
    }
    connect(&m_display, &OnlineDisplay::lineChanged, this,
            [this](DisplayMessage message, int line, const QString& text) {
                QLineEdit* editor = line == 1 ? line1Editor(message) : line2Editor(message);
                if (editor->text() != text)
                    editor->setText(text);
            });
    connect(&m_display, &OnlineDisplay::modeChanged, this, &OnlinePage::showMode);
    connect(&m_display, &OnlineDisplay::confirmationChanged, this, [this](bool isEntry, const QString& text) {
        (isEntry ? lblConfirmaEntrada : lblConfirmaSaida)->setText(text);
    });
    connect(&m_display, &OnlineDisplay::panelColorChanged, this, &OnlinePage::showPanelColor);
}

void OnlinePage::showMode(DisplayMessage message, bool dateTime)
{
    const Editors& e = editors(message);
    (dateTime ? e.dateTime : e.text)->setChecked(true);
    e.line1->setReadOnly(dateTime);
}

void OnlinePage::showPanelColor(bool isEntry, int bgr)
{
    const DisplayMessage message = isEntry ? DisplayMessage::Entry : DisplayMessage::Exit;
    for (QWidget* w :
         {static_cast<QWidget*>(line1Editor(message)), static_cast<QWidget*>(line2Editor(message)),
          static_cast<QWidget*>(isEntry ? panVerdeEntrada : panVerdeSaida)})
        setColorOf(w, bgr);
}

QWidget* OnlinePage::createMessageGroup(DisplayMessage message, const QString& title)
{
    auto* group = new QGroupBox(title, this);
    auto* layout = new QVBoxLayout(group);
    layout->setContentsMargins(6, 4, 6, 4);
    layout->setSpacing(3);
    Editors& e = m_editors[static_cast<size_t>(indexOf(message))];

    QWidget* editorParent = group;
    QVBoxLayout* editorLayout = layout;
    QLabel* confirm = nullptr;
    switch (message) {
    case DisplayMessage::Standing:
        group->setObjectName(u"grpPadrao"_s);
        e.line1 = edtTexto = createEditor(u"edtTexto"_s, m_display.line1(message), group);
        e.line2 = edtDisplay = createEditor(u"edtDisplay"_s, m_display.line2(message), group);
        break;
    case DisplayMessage::Entry:
        group->setObjectName(u"grpEntrada"_s);
        panVerdeEntrada = new QFrame(group);
        panVerdeEntrada->setObjectName(u"panVerdeEntrada"_s);
        editorParent = panVerdeEntrada;
        e.line1 = edtTextoEntrada =
            createEditor(u"edtTextoEntrada"_s, m_display.line1(message), editorParent);
        e.line2 = edtDisplayEntrada =
            createEditor(u"edtDisplayEntrada"_s, m_display.line2(message), editorParent);
        confirm = lblConfirmaEntrada = new QLabel(m_display.confirmation(true), group);
        lblConfirmaEntrada->setObjectName(u"lblConfirmaEntrada"_s);
        break;
    case DisplayMessage::Exit:
        group->setObjectName(u"grpSaida"_s);
        panVerdeSaida = new QFrame(group);
        panVerdeSaida->setObjectName(u"panVerdeSaida"_s);
        editorParent = panVerdeSaida;
        e.line1 = edtTextoSaida = createEditor(u"edtTextoSaida"_s, m_display.line1(message), editorParent);
        e.line2 = edtDisplaySaida =
            createEditor(u"edtDisplaySaida"_s, m_display.line2(message), editorParent);
        confirm = lblConfirmaSaida = new QLabel(m_display.confirmation(false), group);
        lblConfirmaSaida->setObjectName(u"lblConfirmaSaida"_s);
        break;
    }

    if (auto* panel = qobject_cast<QFrame*>(editorParent)) {
        panel->setFrameShape(QFrame::StyledPanel);
        editorLayout = new QVBoxLayout(panel);
        editorLayout->setContentsMargins(4, 4, 4, 4);
        editorLayout->setSpacing(2);
        layout->addWidget(panel);
    }
    editorLayout->addWidget(e.line1);
    editorLayout->addWidget(e.line2);
    if (confirm) {
        confirm->setAlignment(Qt::AlignCenter);
        layout->addWidget(confirm);
    }

    const QString suffix = message == DisplayMessage::Standing ? QString()
                           : message == DisplayMessage::Entry  ? u"Entrada"_s
                                                               : u"Saida"_s;
    e.dateTime = new QRadioButton(u"Data / Hora"_s, group);
    e.dateTime->setObjectName(u"rbtDtHora"_s + suffix);
    e.text = new QRadioButton(u"Texto"_s, group);
    e.text->setObjectName(u"rbtTexto"_s + suffix);
    switch (message) {
    case DisplayMessage::Standing:
        rbtDtHora = e.dateTime;
        rbtTexto = e.text;
        break;
    case DisplayMessage::Entry:
        rbtDtHoraEntrada = e.dateTime;
        rbtTextoEntrada = e.text;
        break;
    case DisplayMessage::Exit:
        rbtDtHoraSaida = e.dateTime;
        rbtTextoSaida = e.text;
        break;
    }
    auto* radios = new QHBoxLayout;
    radios->addWidget(e.dateTime);
    radios->addWidget(e.text);
    layout->addLayout(radios);
    return group;
}

// Fixed pitch, so the editor looks like the display and is as wide as its characters. Where
// Courier New is missing, the system's typewriter face stands in; where the system finds none
// for the hint (Wine without its own fonts), its fixed font, else the first fixed-pitch family:
// a proportional face would make each editor half as wide again as the window allows.
QFont OnlinePage::DisplayFont()
{
    QFont font(u"Courier New"_s, 10);
    font.setStyleHint(QFont::TypeWriter);
    font.setFixedPitch(true);
    if (QFontInfo(font).fixedPitch())
        return font;
    QFont fixed = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    fixed.setPointSize(10);
    if (QFontInfo(fixed).fixedPitch())
        return fixed;
    for (const QString& family : QFontDatabase::families()) {
        if (QFontDatabase::isFixedPitch(family)) {
            fixed.setFamily(family);
            return fixed;
        }
    }
    return font;
}

QLineEdit* OnlinePage::createEditor(const QString& name, const QString& text, QWidget* parent)
{
    auto* editor = new QLineEdit(text, parent);
    editor->setObjectName(name);
    const QFont font = DisplayFont();
    editor->setFont(font);
    const QFontMetrics metrics(font);
    editor->setMinimumWidth(metrics.horizontalAdvance(QString(OnlineDisplay::DisplayWidth + 1, u'W')) + 12);
    editor->setValidator(new TypedLengthValidator(editor, OnlineDisplay::DisplayWidth));
    editor->installEventFilter(this);
    return editor;
}

const OnlinePage::Editors& OnlinePage::editors(DisplayMessage message) const
{
    return m_editors[static_cast<size_t>(indexOf(message))];
}

QLineEdit* OnlinePage::line1Editor(DisplayMessage message) const
{
    return editors(message).line1;
}

QLineEdit* OnlinePage::line2Editor(DisplayMessage message) const
{
    return editors(message).line2;
}

QRadioButton* OnlinePage::dateTimeButton(DisplayMessage message) const
{
    return editors(message).dateTime;
}

QRadioButton* OnlinePage::textButton(DisplayMessage message) const
{
    return editors(message).text;
}

QColor OnlinePage::fromWindowsColor(int bgr)
{
    return QColor(bgr & 0xFF, (bgr >> 8) & 0xFF, (bgr >> 16) & 0xFF);
}

int OnlinePage::toWindowsColor(const QColor& color)
{
    return color.red() | (color.green() << 8) | (color.blue() << 16);
}

int OnlinePage::colorOf(const QWidget* widget)
{
    const QPalette::ColorRole role =
        qobject_cast<const QLineEdit*>(widget) ? QPalette::Base : QPalette::Window;
    return toWindowsColor(widget->palette().color(role));
}

void OnlinePage::setColorOf(QWidget* widget, int bgr)
{
    QPalette palette = widget->palette();
    const QColor color = fromWindowsColor(bgr);
    palette.setColor(QPalette::Base, color);
    palette.setColor(QPalette::Window, color);
    widget->setPalette(palette);
    widget->setAutoFillBackground(true);
}

bool OnlinePage::eventFilter(QObject* watched, QEvent* event)
{
    auto* editor = qobject_cast<QLineEdit*>(watched);
    if (editor && event->type() == QEvent::FocusIn) {
        FillEditorOnEnter(*editor);
    } else if (editor && event->type() == QEvent::KeyPress) {
        const auto* key = static_cast<QKeyEvent*>(event);
        if (key->modifiers() == Qt::NoModifier && moveBetweenLines(editor, key->key()))
            return true;
    }
    return QWidget::eventFilter(watched, event);
}

void OnlinePage::FillEditorOnEnter(QLineEdit& editor)
{
    const QString filled = DisplayLine(editor.text());
    // Rewriting an unchanged text would throw the caret to the end.
    if (filled != editor.text())
        editor.setText(filled);
}

// Down from line 1 and up from line 2 keep the caret's column, as on the display itself.
bool OnlinePage::moveBetweenLines(QLineEdit* from, int key)
{
    for (const Editors& e : m_editors) {
        QLineEdit* to = nullptr;
        if (key == Qt::Key_Down && from == e.line1)
            to = e.line2;
        else if (key == Qt::Key_Up && from == e.line2)
            to = e.line1;
        if (!to)
            continue;
        const int column = from->cursorPosition();
        FillEditorOnEnter(*to);
        to->setFocus(Qt::OtherFocusReason);
        to->setCursorPosition(column);
        return true;
    }
    return false;
}

} // namespace zul
