// libFuzzer target: the cutting of a client's bytes into notifications. The input is split
// into reads at the positions its first bytes choose, so notifications cut across reads are
// tried as well as whole ones. Checks what must hold for any input: no piece longer than the
// limits, no control character in what is queued or echoed, nothing held past the waiting
// limit, and the same pieces whether the bytes come in one read or several.

#include "notify/NotificationFraming.h"

#include <QByteArray>
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>

using zul::NotificationFraming;

namespace {

void check(bool holds)
{
    if (!holds)
        std::abort();
}

void checkPieces(const QList<NotificationFraming::Piece>& pieces)
{
    for (const NotificationFraming::Piece& piece : pieces) {
        check(piece.text.size() <= NotificationFraming::MaxNotificationLength);
        check(piece.received.size() <= NotificationFraming::MaxNotificationLength + 1);
        check(std::none_of(piece.text.begin(), piece.text.end(), [](char c) {
            const auto u = static_cast<unsigned char>(c);
            return u < 0x20 || u == 0x7F;
        }));
        if (piece.kind == NotificationFraming::Piece::Kind::Notification)
            check(NotificationFraming::startsWithMarker(piece.text));
        const QByteArray shown = NotificationFraming::visible(piece.received);
        check(!shown.contains('\r') && !shown.contains('\n'));
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size < 1)
        return 0;
    // The first byte chooses the read size; the rest is what the client sent.
    const std::size_t readSize = std::size_t(data[0] % 16) + 1;
    const QByteArrayView bytes(reinterpret_cast<const char*>(data + 1), qsizetype(size - 1));

    NotificationFraming whole;
    QList<NotificationFraming::Piece> inOne = whole.feed(bytes);
    inOne += whole.finish();
    checkPieces(inOne);
    check(whole.waitingBytes() == 0);

    NotificationFraming split;
    QList<NotificationFraming::Piece> inReads;
    for (qsizetype at = 0; at < bytes.size(); at += qsizetype(readSize)) {
        inReads += split.feed(bytes.sliced(at, std::min(qsizetype(readSize), bytes.size() - at)));
        check(split.waitingBytes() <= NotificationFraming::MaxWaitingBytes);
    }
    inReads += split.finish();
    checkPieces(inReads);
    check(whole.overflowed() == split.overflowed());
    check(inOne == inReads);
    return 0;
}
