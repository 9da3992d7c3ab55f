#include "notify/NotificationFraming.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <utility>

namespace zul {

namespace {

constexpr std::array<const char*, 3> kMarkers{"[INS]", "[DEL]", "[UPD]"};
// Enough of a notification to know what it is and to echo it.
constexpr qsizetype kKeptBytes = NotificationFraming::MaxNotificationLength + 1;

bool isControl(char c)
{
    const auto u = static_cast<unsigned char>(c);
    return u < 0x20 || u == 0x7F;
}

bool isBlankOrControl(char c)
{
    return c == ' ' || isControl(c);
}

bool isMarker(const char* five)
{
    return std::any_of(kMarkers.begin(), kMarkers.end(),
                       [five](const char* marker) { return std::memcmp(five, marker, 5) == 0; });
}

QByteArrayView untilControl(QByteArrayView text)
{
    const auto end = std::find_if(text.begin(), text.end(), isControl);
    QByteArrayView line = text.first(end - text.begin());
    while (!line.isEmpty() && line.back() == ' ')
        line.chop(1);
    return line;
}

} // namespace

bool NotificationFraming::startsWithMarker(QByteArrayView text)
{
    return text.size() >= MarkerLength && isMarker(text.data());
}

QByteArrayView NotificationFraming::personNumber(QByteArrayView notification)
{
    if (notification.size() <= MarkerLength)
        return {};
    QByteArrayView rest = notification.sliced(MarkerLength);
    while (!rest.isEmpty() && rest.front() == ' ')
        rest = rest.sliced(1);
    const auto end = std::find_if(rest.begin(), rest.end(), isBlankOrControl);
    return rest.first(end - rest.begin());
}

QByteArray NotificationFraming::visible(QByteArrayView text, qsizetype maxLength)
{
    static constexpr char hex[] = "0123456789ABCDEF";
    QByteArray shown;
    const QByteArrayView head = text.first(std::min(text.size(), maxLength));
    for (const char c : head) {
        if (isControl(c)) {
            const auto u = static_cast<unsigned char>(c);
            shown += '<';
            shown += hex[u >> 4];
            shown += hex[u & 0xF];
            shown += '>';
        } else {
            shown += c;
        }
    }
    if (text.size() > maxLength)
        shown += "...";
    return shown;
}

QList<NotificationFraming::Piece> NotificationFraming::feed(QByteArrayView bytes)
{
    QList<Piece> out;
    for (const char c : bytes) {
        if (m_overflowed)
            break;
        if (c == '\r' || c == '\n') {
            complete(out);
            continue;
        }
        ++m_length;
        if (m_kept.size() < kKeptBytes)
            m_kept += c;
        // The last five bytes of this notification, the one just received included.
        char last[MarkerLength];
        std::memcpy(last, m_tail, size_t(m_tailLength));
        last[m_tailLength] = c;
        if (m_tailLength == MarkerLength - 1 && m_length > MarkerLength && isMarker(last)) {
            // A marker after something: what stood before it is complete, the marker starts
            // the next notification.
            m_length -= MarkerLength;
            m_kept.truncate(std::min(m_kept.size(), m_length));
            complete(out);
            m_kept = QByteArray(last, MarkerLength);
            m_length = MarkerLength;
            m_tailLength = MarkerLength - 1;
        }
        // Keep the last four bytes, the newest at the end.
        if (m_tailLength < MarkerLength - 1) {
            m_tail[m_tailLength++] = c;
        } else {
            std::memcpy(m_tail, last + 1, MarkerLength - 1);
            m_tailLength = MarkerLength - 1;
        }
        if (m_length > MaxWaitingBytes) {
            m_overflowed = true;
            m_kept.clear();
            m_length = 0;
        }
    }
    return out;
}

QList<NotificationFraming::Piece> NotificationFraming::finish()
{
    QList<Piece> out;
    if (!m_overflowed)
        complete(out);
    return out;
}

void NotificationFraming::complete(QList<Piece>& out)
{
    const QByteArray kept = std::exchange(m_kept, {});
    const qsizetype length = std::exchange(m_length, 0);
    m_tailLength = 0;
    if (length == 0)
        return;
    const bool tooLong = length > MaxNotificationLength;
    if (startsWithMarker(kept)) {
        QByteArray text = kept.left(MarkerLength) + personNumber(kept).toByteArray();
        if (tooLong)
            text.truncate(MaxNotificationLength);
        out.append({tooLong ? Piece::Kind::TooLong : Piece::Kind::Notification, text, kept});
        return;
    }
    // Nothing to show at all (blanks, tabs, stray control bytes): not worth an answer.
    if (std::all_of(kept.begin(), kept.end(), isBlankOrControl) && !tooLong)
        return;
    QByteArray text = untilControl(kept).toByteArray();
    text.truncate(MaxNotificationLength);
    out.append({tooLong ? Piece::Kind::TooLong : Piece::Kind::Unknown, text, kept});
}

} // namespace zul
