#include "support/Win1252.h"

#include <array>

namespace zul {

namespace {

// 0x80-0x9F, the only range where Windows-1252 is not Latin-1. The five bytes Windows leaves
// undefined (0x81, 0x8D, 0x8F, 0x90, 0x9D) map to the C1 code points of the same number, as
// Windows' own conversion does, so every byte survives a round trip.
constexpr std::array<char16_t, 32> kHighRange{
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, //
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F, //
    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014, //
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178, //
};

char toByte(char16_t c)
{
    if (c < 0x80 || (c >= 0xA0 && c <= 0xFF))
        return char(c);
    for (std::size_t i = 0; i < kHighRange.size(); ++i) {
        if (kHighRange[i] == c)
            return char(0x80 + i);
    }
    return '?';
}

template <typename Out> void encode(const QString& text, Out& out)
{
    const qsizetype n = text.size();
    for (qsizetype i = 0; i < n; ++i) {
        const char16_t c = text[i].unicode();
        // A character outside the BMP is one character, so it becomes one "?", not two.
        if (QChar::isHighSurrogate(c) && i + 1 < n && QChar::isLowSurrogate(text[i + 1].unicode()))
            ++i;
        out.push_back(toByte(c));
    }
}

QString decode(const char* bytes, qsizetype size)
{
    QString text(size, Qt::Uninitialized);
    QChar* out = text.data();
    for (qsizetype i = 0; i < size; ++i) {
        const auto b = static_cast<unsigned char>(bytes[i]);
        out[i] = QChar((b >= 0x80 && b < 0xA0) ? kHighRange[b - 0x80] : char16_t(b));
    }
    return text;
}

} // namespace

QByteArray toWin1252(const QString& text)
{
    QByteArray bytes;
    bytes.reserve(text.size());
    encode(text, bytes);
    return bytes;
}

std::string toWin1252String(const QString& text)
{
    std::string bytes;
    bytes.reserve(std::size_t(text.size()));
    encode(text, bytes);
    return bytes;
}

QString fromWin1252(const QByteArray& bytes)
{
    return decode(bytes.constData(), bytes.size());
}

QString fromWin1252(const std::string& bytes)
{
    return decode(bytes.data(), qsizetype(bytes.size()));
}

} // namespace zul
