#include "access/OnlinePage.h"

#include "access/DisplayTexts.h"
#include "support/Clock.h"

#include <QEvent>
#include <QFont>
#include <QFontMetrics>
#include <QFrame>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTimer>
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

OnlinePage::OnlinePage(const Clock& clock, QWidget* parent) : QWidget(parent), m_clock(clock)
{
    setObjectName(u"OnlinePage"_s);

    tmrPassaEntr = new QTimer(this);
    tmrPassaEntr->setObjectName(u"tmrPassaEntr"_s);
    tmrPassaSaida = new QTimer(this);
    tmrPassaSaida->setObjectName(u"tmrPassaSaida"_s);
    for (QTimer* timer : {tmrPassaEntr, tmrPassaSaida})
        timer->setInterval(300);

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

    // Design state: the standing message shows the controller's clock, the passage messages
    // their own line 1.
    rbtDtHora->setChecked(true);
    edtTexto->setReadOnly(true);
    rbtTextoEntrada->setChecked(true);
    rbtTextoSaida->setChecked(true);

    // Wired after the design state, so building the page chooses nothing.
    for (const DisplayMessage message :
         {DisplayMessage::Standing, DisplayMessage::Entry, DisplayMessage::Exit}) {
        connect(dateTimeButton(message), &QRadioButton::toggled, this, [this, message](bool on) {
            if (on)
                ChooseDateTimeDisplay(*this, message, ServerTime(), m_clock);
        });
        connect(textButton(message), &QRadioButton::toggled, this, [this, message](bool on) {
            if (on)
                ChooseTextDisplay(*this, message);
        });
    }
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
        e.line1 = edtTexto = createEditor(u"edtTexto"_s, u" 19/03/08 08:00 "_s, group);
        e.line2 = edtDisplay = createEditor(u"edtDisplay"_s, u"VORLUND SOFTWARE"_s, group);
        break;
    case DisplayMessage::Entry:
        group->setObjectName(u"grpEntrada"_s);
        panVerdeEntrada = new QFrame(group);
        panVerdeEntrada->setObjectName(u"panVerdeEntrada"_s);
        editorParent = panVerdeEntrada;
        e.line1 = edtTextoEntrada = createEditor(u"edtTextoEntrada"_s, u" Entrada >>>>>>"_s, editorParent);
        e.line2 = edtDisplayEntrada = createEditor(u"edtDisplayEntrada"_s, QString(), editorParent);
        confirm = lblConfirmaEntrada = new QLabel(u"Confirmar passagem"_s, group);
        lblConfirmaEntrada->setObjectName(u"lblConfirmaEntrada"_s);
        break;
    case DisplayMessage::Exit:
        group->setObjectName(u"grpSaida"_s);
        panVerdeSaida = new QFrame(group);
        panVerdeSaida->setObjectName(u"panVerdeSaida"_s);
        editorParent = panVerdeSaida;
        e.line1 = edtTextoSaida = createEditor(u"edtTextoSaida"_s, u" <<<<<<  Saída"_s, editorParent);
        e.line2 = edtDisplaySaida = createEditor(u"edtDisplaySaida"_s, QString(), editorParent);
        confirm = lblConfirmaSaida = new QLabel(u"Confirmar Passagem"_s, group);
        lblConfirmaSaida->setObjectName(u"lblConfirmaSaida"_s);
        break;
    }

    if (auto* panel = qobject_cast<QFrame*>(editorParent)) {
        panel->setFrameShape(QFrame::StyledPanel);
        editorLayout = new QVBoxLayout(panel);
        editorLayout->setContentsMargins(4, 4, 4, 4);
        editorLayout->setSpacing(2);
        layout->addWidget(panel);
        for (QWidget* w :
             {static_cast<QWidget*>(panel), static_cast<QWidget*>(e.line1), static_cast<QWidget*>(e.line2)})
            setColorOf(w, PanelColor);
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

QLineEdit* OnlinePage::createEditor(const QString& name, const QString& text, QWidget* parent)
{
    auto* editor = new QLineEdit(text, parent);
    editor->setObjectName(name);
    // Fixed pitch, so the editor looks like the display; where Courier New is missing the
    // system's typewriter face stands in.
    QFont font(u"Courier New"_s, 10);
    font.setStyleHint(QFont::TypeWriter);
    font.setFixedPitch(true);
    editor->setFont(font);
    const QFontMetrics metrics(font);
    editor->setMinimumWidth(metrics.horizontalAdvance(QString(DisplayWidth + 1, u'W')) + 12);
    editor->setValidator(new TypedLengthValidator(editor, DisplayWidth));
    editor->installEventFilter(this);
    return editor;
}

void OnlinePage::SetServerTimeSource(std::function<QDateTime()> source)
{
    m_serverTime = std::move(source);
}

QDateTime OnlinePage::ServerTime() const
{
    return m_serverTime ? m_serverTime() : QDateTime();
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

QString& OnlinePage::savedText(DisplayMessage message)
{
    return m_saved[static_cast<size_t>(indexOf(message))];
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
