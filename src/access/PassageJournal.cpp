#include "access/PassageJournal.h"

#include "support/Error.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSaveFile>
#include <algorithm>

namespace zul {

using namespace Qt::StringLiterals;

namespace {

const QString kTimeFormat = u"yyyy-MM-dd HH:mm:ss"_s;

// One passage per line, as a small JSON object: a person number with any character in it
// still reads back as it was written.
QJsonObject objectOf(const JournaledPassage& passage)
{
    QJsonObject object{{u"pessoa"_s, passage.PersonNumber},
                       {u"sentido"_s, passage.IsEntry ? u"E"_s : u"S"_s},
                       {u"hora"_s, PassageJournal::timeText(passage.PassedAt)}};
    if (passage.Attempts > 0)
        object.insert(u"tentativas"_s, passage.Attempts);
    return object;
}

QByteArray lineOf(const JournaledPassage& passage)
{
    return QJsonDocument(objectOf(passage)).toJson(QJsonDocument::Compact);
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
    passage = JournaledPassage{number.toString(), direction == u"E"_s, at,
                               std::max(0, object.value(u"tentativas"_s).toInt())};
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
                                QDateTime::fromString(timeText(passage.PassedAt), kTimeFormat),
                                passage.Attempts};
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

void PassageJournal::removeAt(qsizetype index)
{
    load();
    if (index < 0 || index >= m_entries.size())
        return;
    QList<JournaledPassage> entries = m_entries;
    entries.removeAt(index);
    store(entries);
    m_entries = entries;
}

int PassageJournal::countAttempt(qsizetype index)
{
    load();
    if (index < 0 || index >= m_entries.size())
        return 0;
    QList<JournaledPassage> entries = m_entries;
    ++entries[index].Attempts;
    store(entries);
    m_entries = entries;
    return m_entries.at(index).Attempts;
}

QString PassageJournal::deadLetterPath() const
{
    return QFileInfo(m_filePath).dir().filePath(u"passagensRecusadas.jrn"_s);
}

void PassageJournal::moveToDeadLetter(qsizetype index, const QString& reason)
{
    load();
    if (index < 0 || index >= m_entries.size())
        return;
    const QString path = deadLetterPath();
    const auto fail = [&path](const QString& why) {
        return Error(u"Arquivo de passagens recusadas "_s + path + u" não gravado: "_s + why);
    };
    QByteArray content;
    QFile old(path);
    if (old.exists()) {
        if (!old.open(QIODevice::ReadOnly))
            throw fail(old.errorString());
        content = old.readAll();
        old.close();
        if (!content.isEmpty() && !content.endsWith('\n'))
            content += '\n';
    }
    QJsonObject object = objectOf(m_entries.at(index));
    object.insert(u"erro"_s, reason);
    content += QJsonDocument(object).toJson(QJsonDocument::Compact) + '\n';
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        throw fail(file.errorString());
    if (file.write(content) != content.size()) {
        const QString why = file.errorString();
        file.cancelWriting();
        throw fail(why);
    }
    if (!file.commit())
        throw fail(file.errorString());
    removeAt(index);
}

std::optional<JournaledPassage> PassageJournal::lastOf(const QString& personNumber)
{
    const QList<JournaledPassage>& all = entries();
    std::optional<JournaledPassage> last;
    for (const JournaledPassage& passage : all)
        if (passage.PersonNumber == personNumber && (!last || passage.PassedAt >= last->PassedAt))
            last = passage;
    return last;
}

void PassageJournal::checkWritable() const
{
    const QFileInfo info(m_filePath);
    if (!QDir().mkpath(info.absolutePath()))
        throw Error(u"Diário de passagens "_s + m_filePath + u" não gravável: pasta "_s +
                    info.absolutePath() + u" indisponível"_s);
    const QString probe = m_filePath + u".verifica"_s;
    QSaveFile file(probe);
    if (!file.open(QIODevice::WriteOnly) || file.write("ok\n", 3) != 3 || !file.commit()) {
        const QString why = file.errorString();
        file.cancelWriting();
        throw Error(u"Diário de passagens "_s + m_filePath + u" não gravável: "_s + why);
    }
    QFile::remove(probe);
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
