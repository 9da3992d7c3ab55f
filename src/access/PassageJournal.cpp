#include "access/PassageJournal.h"

#include "support/Error.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSaveFile>

namespace zul {

using namespace Qt::StringLiterals;

namespace {

const QString kTimeFormat = u"yyyy-MM-dd HH:mm:ss"_s;

// One passage per line, as a small JSON object: a person number with any character in it
// still reads back as it was written.
QByteArray lineOf(const JournaledPassage& passage)
{
    const QJsonObject object{{u"pessoa"_s, passage.PersonNumber},
                             {u"sentido"_s, passage.IsEntry ? u"E"_s : u"S"_s},
                             {u"hora"_s, PassageJournal::timeText(passage.PassedAt)}};
    return QJsonDocument(object).toJson(QJsonDocument::Compact);
}

bool parseLine(const QByteArray& line, JournaledPassage& passage)
{
    const QJsonDocument document = QJsonDocument::fromJson(line);
    if (!document.isObject())
        return false;
    const QJsonObject object = document.object();
    const QString direction = object.value(u"sentido"_s).toString();
    const QDateTime at = QDateTime::fromString(object.value(u"hora"_s).toString(), kTimeFormat);
    const QJsonValue number = object.value(u"pessoa"_s);
    if (!number.isString() || (direction != u"E"_s && direction != u"S"_s) || !at.isValid())
        return false;
    passage = JournaledPassage{number.toString(), direction == u"E"_s, at};
    return true;
}

} // namespace

PassageJournal::PassageJournal(QString filePath) : m_filePath(std::move(filePath)) {}

QString PassageJournal::defaultFilePath(const QString& logFolder)
{
    return QDir(logFolder).filePath(u"passagensPendentes.jrn"_s);
}

QString PassageJournal::timeText(const QDateTime& when)
{
    return when.toString(kTimeFormat);
}

const QList<JournaledPassage>& PassageJournal::entries()
{
    load();
    return m_entries;
}

bool PassageJournal::isEmpty()
{
    return entries().isEmpty();
}

void PassageJournal::load()
{
    if (m_loaded)
        return;
    QFile file(m_filePath);
    if (!file.exists()) {
        m_loaded = true;
        return;
    }
    if (!file.open(QIODevice::ReadOnly))
        throw Error(u"Diário de passagens "_s + m_filePath + u" ilegível: "_s + file.errorString());
    QList<JournaledPassage> entries;
    QStringList unreadable;
    for (const QByteArray& raw : file.readAll().split('\n')) {
        const QByteArray line = raw.trimmed();
        if (line.isEmpty())
            continue;
        JournaledPassage passage;
        if (parseLine(line, passage))
            entries << passage;
        else
            unreadable << QString::fromUtf8(line);
    }
    m_entries = entries;
    m_unreadable = unreadable;
    m_loaded = true;
}

void PassageJournal::append(const JournaledPassage& passage)
{
    load();
    QList<JournaledPassage> entries = m_entries;
    entries << JournaledPassage{passage.PersonNumber, passage.IsEntry,
                                QDateTime::fromString(timeText(passage.PassedAt), kTimeFormat)};
    store(entries);
    m_entries = entries;
}

void PassageJournal::removeFirst()
{
    load();
    if (m_entries.isEmpty())
        return;
    QList<JournaledPassage> entries = m_entries;
    entries.removeFirst();
    store(entries);
    m_entries = entries;
}

void PassageJournal::store(const QList<JournaledPassage>& entries) const
{
    const auto fail = [this](const QString& reason) {
        return Error(u"Diário de passagens "_s + m_filePath + u" não gravado: "_s + reason);
    };
    if (entries.isEmpty() && m_unreadable.isEmpty()) {
        QFile file(m_filePath);
        if (file.exists() && !file.remove())
            throw fail(file.errorString());
        return;
    }
    const QFileInfo info(m_filePath);
    if (!QDir().mkpath(info.absolutePath()))
        throw fail(u"pasta "_s + info.absolutePath() + u" indisponível"_s);
    QByteArray content;
    for (const JournaledPassage& passage : entries)
        content += lineOf(passage) + '\n';
    for (const QString& line : m_unreadable)
        content += line.toUtf8() + '\n';
    // QSaveFile writes a temporary file beside the journal, flushes it to the disk and only then
    // renames it over the journal: a crash at any moment leaves one complete list.
    QSaveFile file(m_filePath);
    if (!file.open(QIODevice::WriteOnly))
        throw fail(file.errorString());
    if (file.write(content) != content.size()) {
        const QString reason = file.errorString();
        file.cancelWriting();
        throw fail(reason);
    }
    if (!file.commit())
        throw fail(file.errorString());
}

} // namespace zul
