#include "support/OperatorDialogs.h"

#include "support/ActivityLog.h"

using namespace Qt::StringLiterals;

namespace zul {

namespace {

// One entry per dialog: the title in brackets, then the text with its line breaks turned into
// spaces so that a box of two paragraphs stays one line of the log. The brackets also keep a
// box titled "Erro" from reading as "Erro:" and being framed as a caught error.
QString describe(const QString& title, const QString& text)
{
    QString flat = text;
    flat.replace(u"\r\n"_s, u" "_s);
    flat.replace(u'\n', u' ');
    flat.replace(u'\r', u' ');
    if (title.isEmpty())
        return flat;
    return u'[' + title + u"] " + flat;
}

} // namespace

void NonBlockingDialogs::message(Icon, const QString& title, const QString& text)
{
    m_log.write(describe(title, text));
}

bool NonBlockingDialogs::ask(Icon, const QString& title, const QString& text, bool safeDefault)
{
    const QString answer = safeDefault ? u" -> Sim (sem operador)"_s : u" -> Não (sem operador)"_s;
    m_log.write(describe(title, text) + answer);
    return safeDefault;
}

std::optional<QString> NonBlockingDialogs::input(const QString& caption, const QString& prompt,
                                                 const QString& value)
{
    m_log.write(describe(caption, prompt) + u" [" + value + u"] -> Cancela (sem operador)");
    return std::nullopt;
}

} // namespace zul
