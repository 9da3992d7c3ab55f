#include "access/ReleaseRecord.h"

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

Error failure(const QString& filePath, const QString& reason)
{
    return Error(u"Registro de liberação "_s + filePath + u" não gravado: "_s + reason);
}

} // namespace

ReleaseRecord::ReleaseRecord(QString filePath) : m_filePath(std::move(filePath)) {}

QString ReleaseRecord::defaultFilePath(const QString& logFolder)
{
    return QDir(logFolder).filePath(u"liberacaoPendente.rec"_s);
}

std::optional<PendingRelease> ReleaseRecord::pending(QString* problem)
{
    if (m_loaded)
        return m_pending;
    m_loaded = true;
    m_pending.reset();
    QFile file(m_filePath);
    if (!file.exists())
        return m_pending;
    if (!file.open(QIODevice::ReadOnly)) {
        if (problem)
            *problem = file.errorString();
        return m_pending;
    }
    const QJsonDocument document = QJsonDocument::fromJson(file.readAll().trimmed());
    const QJsonObject object = document.object();
    const QJsonValue number = object.value(u"pessoa"_s);
    const QString direction = object.value(u"sentido"_s).toString();
    const QDateTime at = QDateTime::fromString(object.value(u"hora"_s).toString(), kTimeFormat);
    if (!number.isString() || (direction != u"E"_s && direction != u"S"_s) || !at.isValid()) {
        if (problem)
            *problem = u"conteúdo ilegível"_s;
        return m_pending;
    }
    m_pending =
        PendingRelease{number.toString(), object.value(u"nome"_s).toString(), direction == u"E"_s, at};
    return m_pending;
}

void ReleaseRecord::write(const PendingRelease& release)
{
    const QJsonObject object{{u"pessoa"_s, release.PersonNumber},
                             {u"nome"_s, release.BadgeName},
                             {u"sentido"_s, release.IsEntry ? u"E"_s : u"S"_s},
                             {u"hora"_s, release.ReleasedAt.toString(kTimeFormat)}};
    const QByteArray content = QJsonDocument(object).toJson(QJsonDocument::Compact) + '\n';
    const QFileInfo info(m_filePath);
    if (!QDir().mkpath(info.absolutePath()))
        throw failure(m_filePath, u"pasta "_s + info.absolutePath() + u" indisponível"_s);
    // Written beside the record, flushed and renamed over it: a crash leaves the old or the new
    // record in full.
    QSaveFile file(m_filePath);
    if (!file.open(QIODevice::WriteOnly))
        throw failure(m_filePath, file.errorString());
    if (file.write(content) != content.size()) {
        const QString reason = file.errorString();
        file.cancelWriting();
        throw failure(m_filePath, reason);
    }
    if (!file.commit())
        throw failure(m_filePath, file.errorString());
    m_loaded = true;
    m_pending = PendingRelease{release.PersonNumber, release.BadgeName, release.IsEntry,
                               QDateTime::fromString(release.ReleasedAt.toString(kTimeFormat), kTimeFormat)};
}

void ReleaseRecord::clear()
{
    QFile file(m_filePath);
    if (file.exists() && !file.remove())
        throw failure(m_filePath, file.errorString());
    m_loaded = true;
    m_pending.reset();
}

} // namespace zul
