#include "dbconfig/Criptografa.h"

#include "support/Error.h"

#include <array>
#include <cryptopp/base64.h>
#include <cryptopp/blowfish.h>
#include <cryptopp/filters.h>
#include <cryptopp/misc.h>
#include <cryptopp/ripemd.h>
#include <cryptopp/secblock.h>
#include <cstdint>
#include <utility>

using namespace Qt::StringLiterals;

namespace zul {

namespace {

constexpr int KeyShift = 5;
constexpr int KeyTextLength = 255;

// The profile key text, scrambled. Whatever wrote a profile must have used the same text.
constexpr char ScrambledKey[] = "DY2+]n+UkWCF''gdH)YF0JjH*q_yJUCiYn|kk,bj6K4gRxWPHfaw@zTcwMbj-@|t"
                                "qHdFn.yb?,>Z~yU`P=+F3G[MgQ|Ba:3_YfUE'FXV}dt(f+Gxc0K{2a3wfLn*t5>w"
                                "dklVDeiPMXKK?~Q-/zIM;&netkB5jCCDU_i|61aL~<~dSxk:~jD)(nsl]2lA]:/J"
                                ",Y2ciY@_^^?2Hi?KNshP`P?>SBBsT&HH^DVYZ/W{'5DbWPe}ag-8C{/&`:C.7Z3";
static_assert(sizeof(ScrambledKey) == KeyTextLength + 1);

using Block = std::array<CryptoPP::byte, CryptoPP::Blowfish::BLOCKSIZE>;

bool isBase64Letter(char c)
{
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '+' || c == '/';
}

// Characters that may separate the groups of a stored value (blanks, line breaks, the
// punctuation of a quoted or bracketed listing): they carry no data and are passed over.
bool isSkipped(char c)
{
    switch (c) {
    case ' ':
    case '$':
    case '(':
    case ')':
    case '[':
    case ']':
    case '{':
    case '}':
    case ',':
    case ';':
    case ':':
    case '-':
    case '_':
    case '\\':
    case '*':
    case '"':
    case '\'':
    case '\t':
    case '\n':
    case '\r':
        return true;
    default:
        return false;
    }
}

[[noreturn]] void throwNotBase64()
{
    throw Error(u"Input is not an valid %1 Format."_s.arg(u"MIME Base 64"_s));
}

// The cipher of one call: keyed from the rebuilt key text, which is wiped as soon as the
// digest exists so the plain key text never outlives the keying.
class ProfileCipher
{
public:
    ProfileCipher()
    {
        CryptoPP::SecByteBlock keyText(KeyTextLength);
        QByteArray rebuilt = UnscrambleText(QByteArray(ScrambledKey, KeyTextLength), KeyShift);
        std::copy(rebuilt.cbegin(), rebuilt.cend(), keyText.begin());
        CryptoPP::SecureWipeBuffer(rebuilt.data(), std::size_t(rebuilt.size()));

        CryptoPP::SecByteBlock digest(CryptoPP::RIPEMD256::DIGESTSIZE);
        CryptoPP::RIPEMD256().CalculateDigest(digest, keyText, keyText.size());
        m_encrypt.SetKey(digest, digest.size());
        m_decrypt.SetKey(digest, digest.size());

        m_feedback.fill(0xFF);
        m_encrypt.ProcessBlock(m_feedback.data());
    }

    QByteArray decrypt(const QByteArray& cipherText)
    {
        QByteArray out(cipherText.size(), Qt::Uninitialized);
        qsizetype pos = 0;
        for (; pos + BlockSize <= cipherText.size(); pos += BlockSize) {
            Block c;
            Block p;
            std::copy_n(cipherText.constData() + pos, BlockSize, c.begin());
            m_decrypt.ProcessBlock(c.data(), p.data());
            for (int i = 0; i < BlockSize; ++i) {
                out[pos + i] = char(p[i] ^ m_feedback[i]);
                m_feedback[i] ^= c[i];
            }
        }
        finish(cipherText, pos, out);
        return out;
    }

    QByteArray encrypt(const QByteArray& plain)
    {
        QByteArray out(plain.size(), Qt::Uninitialized);
        qsizetype pos = 0;
        for (; pos + BlockSize <= plain.size(); pos += BlockSize) {
            Block b;
            for (int i = 0; i < BlockSize; ++i)
                b[i] = CryptoPP::byte(plain[pos + i]) ^ m_feedback[i];
            m_encrypt.ProcessBlock(b.data());
            for (int i = 0; i < BlockSize; ++i) {
                out[pos + i] = char(b[i]);
                m_feedback[i] ^= b[i];
            }
        }
        finish(plain, pos, out);
        return out;
    }

private:
    static constexpr int BlockSize = CryptoPP::Blowfish::BLOCKSIZE;

    // A short last block is XORed with the encrypted feedback value: the same in both
    // directions, and no byte is added.
    void finish(const QByteArray& in, qsizetype pos, QByteArray& out)
    {
        if (pos == in.size())
            return;
        Block pad = m_feedback;
        m_encrypt.ProcessBlock(pad.data());
        for (qsizetype i = 0; pos + i < in.size(); ++i)
            out[pos + i] = char(CryptoPP::byte(in[pos + i]) ^ pad[std::size_t(i)]);
    }

    CryptoPP::Blowfish::Encryption m_encrypt;
    CryptoPP::Blowfish::Decryption m_decrypt;
    Block m_feedback{};
};

} // namespace

QByteArray UnscrambleText(const QByteArray& text, int shift)
{
    QByteArray s = text;
    const qsizetype length = s.size();
    const qsizetype half = length / 2;
    const qsizetype upper = (length + 1) / 2 + 1;
    // Positions below are counted from 1.
    for (qsizetype i = upper; i <= length; ++i)
        std::swap(s[i - 1], s[2 * i - length - 2]);
    for (qsizetype i = half; i >= 1; --i)
        std::swap(s[i - 1], s[2 * i - 1]);
    for (char& c : s)
        c = char(std::uint8_t(std::uint8_t(c) - shift));
    return s;
}

QByteArray ScrambleText(const QByteArray& text, int shift)
{
    QByteArray s = text;
    for (char& c : s)
        c = char(std::uint8_t(std::uint8_t(c) + shift));
    const qsizetype length = s.size();
    const qsizetype half = length / 2;
    const qsizetype upper = (length + 1) / 2 + 1;
    for (qsizetype i = 1; i <= half; ++i)
        std::swap(s[i - 1], s[2 * i - 1]);
    for (qsizetype i = length; i >= upper; --i)
        std::swap(s[i - 1], s[2 * i - length - 2]);
    return s;
}

QByteArray ScrambledProfileKeyText()
{
    return QByteArray(ScrambledKey, KeyTextLength);
}

QByteArray DecodeProfileBase64(const QByteArray& text)
{
    std::string letters;
    letters.reserve(std::size_t(text.size()));
    bool fillSeen = false;
    for (const char c : text) {
        if (isSkipped(c))
            continue;
        if (c == '=') {
            fillSeen = true;
            continue;
        }
        // "=" only ever closes the data; data after it would decode to misplaced bits.
        if (!isBase64Letter(c) || fillSeen)
            throwNotBase64();
        letters.push_back(c);
    }
    // Missing "=" fill is implied: the decoder emits every complete byte and drops the bits of
    // an incomplete one, exactly what the supplied fill would mean.
    std::string bytes;
    CryptoPP::StringSource source(letters, true,
                                  new CryptoPP::Base64Decoder(new CryptoPP::StringSink(bytes)));
    return QByteArray(bytes.data(), qsizetype(bytes.size()));
}

QByteArray DecryptProfileString(const QByteArray& stored)
{
    if (stored.isEmpty())
        return {};
    const QByteArray cipherText = DecodeProfileBase64(stored);
    return ProfileCipher().decrypt(cipherText);
}

bool IsConnectionStringText(const QByteArray& plain)
{
    for (const char c : plain) {
        const auto b = std::uint8_t(c);
        if (b < 0x20 && b != '\t')
            return false;
        switch (b) {
        case 0x7F:
        case 0x81:
        case 0x8D:
        case 0x8F:
        case 0x90:
        case 0x9D:
            return false;
        default:
            break;
        }
    }
    return true;
}

QByteArray EncryptProfileString(const QByteArray& plain)
{
    const QByteArray cipherText = ProfileCipher().encrypt(plain);
    std::string encoded;
    CryptoPP::StringSource source(reinterpret_cast<const CryptoPP::byte*>(cipherText.constData()),
                                  std::size_t(cipherText.size()), true,
                                  new CryptoPP::Base64Encoder(new CryptoPP::StringSink(encoded), false));
    return QByteArray(encoded.data(), qsizetype(encoded.size()));
}

} // namespace zul
