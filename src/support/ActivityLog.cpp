#include "support/ActivityLog.h"

#include "support/Clock.h"
#include "support/Text.h"
#include "support/Win1252.h"

#include <QCoreApplication>
#include <QDir>

using namespace Qt::StringLiterals;

namespace zul {

namespace {

bool isFramed(QStringView text)
{
    // Only ASCII letters are folded: the marker is ASCII and a Unicode case rule must not
    // make some other letter match it.
    static constexpr char16_t marker[] = u"ERRO:";
    constexpr qsizetype markerSize = 5;
    for (qsizetype start = 0; start + markerSize <= text.size(); ++start) {
        qsizetype i = 0;
        for (; i < markerSize; ++i) {
            char16_t c = text[start + i].unicode();
            if (c >= u'a' && c <= u'z')
                c = char16_t(c - (u'a' - u'A'));
            if (c != marker[i])
                break;
        }
        if (i == markerSize)
            return true;
    }
    return false;
}

void appendDigits(QString& out, int value, int width)
{
    char16_t digits[4];
    for (int i = width - 1; i >= 0; --i) {
        digits[i] = char16_t(u'0' + value % 10);
        value /= 10;
    }
    out.append(reinterpret_cast<const QChar*>(digits), width);
}

// Where Windows would use the account's regional short date and long time, the program
// writes the Brazilian defaults of those two formats, "dd/MM/yyyy" and "HH:mm:ss", whatever
// the locale of the machine: the files stay alike on every installation and every tool that
// reads them sees one layout.
void appendDate(QString& out, const QDate& date, QChar separator)
{
    appendDigits(out, date.day(), 2);
    out += separator;
    appendDigits(out, date.month(), 2);
    out += separator;
    appendDigits(out, date.year(), 4);
}

void appendStamp(QString& out, const QDateTime& when)
{
    const QTime time = when.time();
    appendDate(out, when.date(), u'/');
    out += u' ';
    appendDigits(out, time.hour(), 2);
    out += u':';
    appendDigits(out, time.minute(), 2);
    out += u':';
    appendDigits(out, time.second(), 2);
}

QByteArray composeLine(const QString& text, const QDateTime& when)
{
    QString line;
    line.reserve(text.size() + 36);
    const bool framed = isFramed(text);
    if (!IsBlank(text)) {
        appendStamp(line, when);
        line += u'\t';
    }
    if (framed)
        line += u"##### ";
    line += text;
    if (framed)
        line += u" #####";
    line += u"\r\n";
    return toWin1252(line);
}

} // namespace

ActivityLog::ActivityLog(const Clock& clock, QString folder) : m_clock(clock), m_folder(std::move(folder)) {}

QString ActivityLog::filePathFor(const QDate& date) const
{
    QString name;
    name.reserve(m_folder.size() + 26);
    name += m_folder;
    name += u"/logCatraca";
    appendDate(name, date, u'-');
    name += u".txt";
    return name;
}

void ActivityLog::setEnabled(bool enabled)
{
    m_enabled = enabled;
    if (!enabled)
        m_file.close();
}

bool ActivityLog::openFileOf(const QDate& date) const
{
    m_file.close();
    const std::string path = filePathFor(date).toStdString();
    // The folder is looked at only when the open fails, and recreated (one level) when someone
    // removed it while the program runs.
    if (!m_file.open(path)) {
        if (QDir(m_folder).exists() || !QDir().mkdir(m_folder) || !m_file.open(path))
            return false;
    }
    m_fileDate = date;
    m_openedAtMs = m_clock.elapsedMs();
    return true;
}

void ActivityLog::write(const QString& text) const noexcept
{
    if (!m_enabled)
        return;
    // Nothing may reach the caller: a line that cannot be written is lost and the next call
    // tries again from the start.
    try {
        const QDateTime when = m_offsets.localFields(m_clock.epochMs());
        if (!m_file.isOpen() || when.date() != m_fileDate ||
            m_clock.elapsedMs() - m_openedAtMs >= ReopenAfterMs || !m_file.stillNamed()) {
            if (!openFileOf(when.date())) {
                lineLost();
                return;
            }
        }
        const QByteArray line = composeLine(text, when);
        if (!m_file.write(line.constData(), std::size_t(line.size()))) {
            // A full disk, or a file that cannot take more: the next line opens it again.
            m_file.close();
            lineLost();
            return;
        }
        m_lossReported = false;
    } catch (...) {
    }
}

void ActivityLog::lineLost() const
{
    if (m_lossReported)
        return;
    m_lossReported = true;
    if (m_onLost)
        m_onLost(m_folder);
}

QString ActivityLog::defaultFolder()
{
    return QDir(QCoreApplication::applicationDirPath()).filePath(u"logCatraca"_s);
}

} // namespace zul
