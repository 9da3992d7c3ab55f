#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QList>

namespace zul {

// What one client sent, cut into notifications. Works on the bytes as they came off the wire
// (Windows-1252) and knows nothing of sockets, so it can be fed any bytes at all.
//
// A notification starts at a marker ("[INS]", "[DEL]", "[UPD]", with their letter case) and
// ends at a CR or LF, at the next marker, or when the client closes or goes quiet (finish()).
// Bytes are held until then, so a notification the network split across reads comes out once,
// whole. Its person number is what follows the marker (blanks in front skipped) as far as the
// first blank or control character; anything after that on the same line is not part of it.
// Text that does not start with a marker (something sent ahead of one, or a line without any)
// comes out as Unknown unless it is blank.
class NotificationFraming
{
public:
    // A notification longer than this, marker and everything up to its line end included, is
    // answered "[ER]" and dropped. Person numbers are ten characters.
    static constexpr qsizetype MaxNotificationLength = 64;
    // Bytes of one unfinished notification the client may keep waiting; past it the client is
    // disconnected (overflowed()). Only the first MaxNotificationLength are actually held.
    static constexpr qsizetype MaxWaitingBytes = 4096;
    static constexpr qsizetype MarkerLength = 5;

    struct Piece
    {
        enum class Kind {
            Notification, // text: marker + person number
            Unknown,      // text: what was sent, as far as its first control character
            TooLong,      // text: marker + person number (or the start), cut to the length limit
        };
        Kind kind;
        QByteArray text;
        // The bytes of the piece as they were received (at most MaxNotificationLength + 1 of
        // them), for the log.
        QByteArray received;

        friend bool operator==(const Piece&, const Piece&) = default;
    };

    // Takes the bytes of one read; answers the notifications they completed. Once
    // overflowed(), everything is ignored.
    QList<Piece> feed(QByteArrayView bytes);
    // The client closed or went quiet: what is waiting is complete.
    QList<Piece> finish();

    // Bytes of the unfinished notification.
    qsizetype waitingBytes() const { return m_length; }
    bool overflowed() const { return m_overflowed; }

    // The marker `text` starts with, or nothing.
    static bool startsWithMarker(QByteArrayView text);
    // The person number of a notification: after its first five characters, blanks in front
    // skipped, as far as the first blank or control character.
    static QByteArrayView personNumber(QByteArrayView notification);
    // Text fit for one log line: control characters shown as <XX> (hexadecimal), cut to
    // `maxLength` characters of what was received with "..." after it.
    static QByteArray visible(QByteArrayView text, qsizetype maxLength = MaxNotificationLength);

private:
    void complete(QList<Piece>& out);

    QByteArray m_kept;      // the first bytes of the unfinished notification
    qsizetype m_length = 0; // all of its bytes, held or not
    char m_tail[MarkerLength - 1] = {};
    qsizetype m_tailLength = 0; // the last bytes received, to find a marker cut across reads
    bool m_overflowed = false;
};

} // namespace zul
