// Texts for the turnstile's display, from Windows-1252 bytes as the database and the operator
// give them: the folding keeps the length, leaves no accented letter of its table, and what
// goes to the controller is single-byte text again.
#include "access/DisplayTexts.h"
#include "support/ActivityLog.h"
#include "support/Clock.h"
#include "support/Win1252.h"

#include <QDir>
#include <cstdint>
#include <cstdlib>

using namespace Qt::StringLiterals;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static const zul::SystemClock clock;
    static const zul::ActivityLog log(clock, QDir::tempPath() + u"/zul-fuzz-log"_s);
    static const QString accented = u"áéíóúàèìòùäëïöüâêîôûãõñçÁÉÍÓÚÀÈÌÒÙÄËÏÖÜÂÊÎÔÛÃÕÑÇ"_s;

    const QByteArray bytes(reinterpret_cast<const char*>(data), qsizetype(size));
    const QString text = zul::fromWin1252(bytes);
    const QString folded = zul::TrataAcento(text, log);
    if (folded.size() != text.size())
        std::abort();
    for (const QChar c : folded) {
        if (accented.contains(c))
            std::abort();
    }
    const QString line = zul::DisplayLine(text);
    if (line.size() != 16)
        std::abort();
    const QByteArray sent = zul::toWin1252(zul::TrataAcento(line + text, log));
    if (sent.size() != 16 + text.size())
        std::abort();
    return 0;
}
