#pragma once

#include <QDateTime>
#include <QString>
#include <optional>

namespace zul {

// A release of the arm whose end the controller has not reported yet.
struct PendingRelease
{
    QString PersonNumber;
    QString BadgeName;
    bool IsEntry = false;
    QDateTime ReleasedAt; // by the controller's clock, to the second

    bool operator==(const PendingRelease&) const = default;
};

// The release in progress, kept in a small file that survives a crash, a kill or a power cut:
// it is written (flushed to the disk and renamed over the old file) before the arm is released
// and removed once the controller has reported how the release ended. A program that starts
// with a release on record knows that the next rotation report belongs to that person, and that
// the arm may still be open for them. No file means no release is in progress.
class ReleaseRecord
{
public:
    explicit ReleaseRecord(QString filePath);

    // Beside the journal of passages, inside the activity log folder.
    static QString defaultFilePath(const QString& logFolder);
    const QString& filePath() const { return m_filePath; }

    // The release on record. The file is read on first use; a file that cannot be read or holds
    // no release counts as none, and `problem` (when given) then says why.
    std::optional<PendingRelease> pending(QString* problem = nullptr);

    // Durable on return; throw zul::Error, leaving the record as it was, when they cannot be.
    void write(const PendingRelease& release);
    void clear();

private:
    QString m_filePath;
    bool m_loaded = false;
    std::optional<PendingRelease> m_pending;
};

} // namespace zul
