#include "dbconfig/Criptografa.h"

#include "support/Error.h"

#include <QRandomGenerator>
#include <array>
#include <cryptopp/blowfish.h>
#include <cryptopp/modes.h>
#include <cryptopp/ripemd.h>
#include <gtest/gtest.h>

using namespace Qt::StringLiterals;

namespace zul {
namespace {

QByteArray hex(const char* text)
{
    return QByteArray::fromHex(QByteArray(text));
}

QByteArray keyText()
{
    return UnscrambleText(ScrambledProfileKeyText(), 5);
}

// The stored format written out step by step from the published primitives (Blowfish in ECB
// mode, one block at a time) and Qt's own Base64, sharing no code with the unit under test.
QByteArray referenceEncrypt(const QByteArray& plain, const QByteArray& key)
{
    std::array<CryptoPP::byte, 32> digest{};
    CryptoPP::RIPEMD256().CalculateDigest(
        digest.data(), reinterpret_cast<const CryptoPP::byte*>(key.constData()), std::size_t(key.size()));
    CryptoPP::ECB_Mode<CryptoPP::Blowfish>::Encryption ecb(digest.data(), digest.size());
    const auto encryptBlock = [&ecb](QByteArray block) {
        ecb.ProcessData(reinterpret_cast<CryptoPP::byte*>(block.data()),
                        reinterpret_cast<const CryptoPP::byte*>(block.constData()), 8);
        return block;
    };

    QByteArray feedback = encryptBlock(QByteArray(8, char(0xFF)));
    QByteArray cipher;
    qsizetype pos = 0;
    for (; pos + 8 <= plain.size(); pos += 8) {
        QByteArray block = plain.mid(pos, 8);
        for (int i = 0; i < 8; ++i)
            block[i] = char(block[i] ^ feedback[i]);
        const QByteArray c = encryptBlock(block);
        for (int i = 0; i < 8; ++i)
            feedback[i] = char(feedback[i] ^ c[i]);
        cipher += c;
    }
    const QByteArray pad = encryptBlock(feedback);
    for (qsizetype i = 0; pos + i < plain.size(); ++i)
        cipher += char(plain[pos + i] ^ pad[i]);
    return cipher.toBase64();
}

QByteArray randomBytes(int length, quint32 seed)
{
    QRandomGenerator random(seed);
    QByteArray bytes(length, Qt::Uninitialized);
    for (char& c : bytes)
        c = char(random.bounded(256));
    return bytes;
}

// --- the published primitives underneath -------------------------------------------------

struct BlowfishVector
{
    const char* key;
    const char* plain;
    const char* cipher;
};

class BlowfishVectors : public ::testing::TestWithParam<BlowfishVector>
{
};

TEST_P(BlowfishVectors, MatchPublishedEcbResults)
{
    const QByteArray key = hex(GetParam().key);
    QByteArray block = hex(GetParam().plain);
    CryptoPP::Blowfish::Encryption cipher(reinterpret_cast<const CryptoPP::byte*>(key.constData()),
                                          std::size_t(key.size()));
    cipher.ProcessBlock(reinterpret_cast<CryptoPP::byte*>(block.data()));
    EXPECT_EQ(block.toHex().toUpper(), QByteArray(GetParam().cipher));
}

// Eric Young's test set, including one of the variable-length keys.
INSTANTIATE_TEST_SUITE_P(
    EricYoung, BlowfishVectors,
    ::testing::Values(BlowfishVector{"0000000000000000", "0000000000000000", "4EF997456198DD78"},
                      BlowfishVector{"FFFFFFFFFFFFFFFF", "FFFFFFFFFFFFFFFF", "51866FD5B85ECB8A"},
                      BlowfishVector{"3000000000000000", "1000000000000001", "7D856F9A613063F2"},
                      BlowfishVector{"1111111111111111", "1111111111111111", "2466DD878B963C9D"},
                      BlowfishVector{"0123456789ABCDEF", "1111111111111111", "61F9C3802281B096"},
                      BlowfishVector{"FEDCBA9876543210", "0123456789ABCDEF", "0ACEAB0FC6A0A28D"},
                      BlowfishVector{"F0E1D2C3B4A5968778695A4B3C2D1E0F0011223344556677", "FEDCBA9876543210",
                                     "05044B62FA52D080"}));

TEST(Ripemd256, MatchesPublishedDigests)
{
    const auto digest = [](const QByteArray& text) {
        QByteArray out(CryptoPP::RIPEMD256::DIGESTSIZE, Qt::Uninitialized);
        CryptoPP::RIPEMD256().CalculateDigest(reinterpret_cast<CryptoPP::byte*>(out.data()),
                                              reinterpret_cast<const CryptoPP::byte*>(text.constData()),
                                              std::size_t(text.size()));
        return out.toHex();
    };
    EXPECT_EQ(digest(""), "02ba4c4e5f8ecd1877fc52d64d30e37a2d9774fb1e5d026380ae0168e3c5522d");
    EXPECT_EQ(digest("abc"), "afbd6e228b9d8cbbcef5ca2d03e6dba10ac0bc7dcbe4680e1e42d2e975459b65");
}

// --- the key text ------------------------------------------------------------------------

// The positions of UnscrambleText written out literally, for comparison.
QByteArray referenceUnscramble(QByteArray s, int shift)
{
    const qsizetype l = s.size();
    for (qsizetype i = (l + 1) / 2 + 1; i <= l; ++i)
        std::swap(s[i - 1], s[2 * i - l - 1 - 1]);
    for (qsizetype i = l / 2; i >= 1; --i)
        std::swap(s[i - 1], s[2 * i - 1]);
    for (char& c : s)
        c = char((uchar(c) - shift + 256) % 256);
    return s;
}

TEST(UnscrambleText, ShortTextsFollowThePositionRules)
{
    EXPECT_EQ(UnscrambleText("F", 5), "A");
    // Two characters: both exchanges cancel out, only the shift remains.
    EXPECT_EQ(UnscrambleText("FG", 5), "AB");
    // Three: positions 3 and 2 exchanged, then 1 and 2 ("abc" -> "acb" -> "cab").
    EXPECT_EQ(UnscrambleText("fgh", 5), "cab");
    EXPECT_EQ(UnscrambleText("", 5), "");
    // The shift wraps within a byte.
    EXPECT_EQ(UnscrambleText(QByteArray(1, '\x02'), 5), QByteArray(1, '\xFD'));
}

TEST(UnscrambleText, LongTextsMatchTheRulesAndScrambleTextUndoesThem)
{
    for (const int length : {4, 5, 16, 17, 254, 255, 256}) {
        const QByteArray text = randomBytes(length, quint32(length));
        EXPECT_EQ(UnscrambleText(text, 5), referenceUnscramble(text, 5)) << length;
        EXPECT_EQ(UnscrambleText(ScrambleText(text, 5), 5), text) << length;
    }
    // For 255 characters the first exchange of step 2 is position 129 with 2.
    QByteArray marked(255, 'a');
    marked[128] = 'z';
    const QByteArray rebuilt = UnscrambleText(marked, 0);
    EXPECT_EQ(rebuilt.indexOf('z'), referenceUnscramble(marked, 0).indexOf('z'));
}

TEST(ProfileKeyText, Is255PrintableCharactersHeldOnlyScrambled)
{
    const QByteArray scrambled = ScrambledProfileKeyText();
    const QByteArray key = keyText();
    ASSERT_EQ(scrambled.size(), 255);
    ASSERT_EQ(key.size(), 255);
    for (const char c : QByteArray(scrambled + key))
        EXPECT_TRUE(c >= 0x20 && c < 0x7F) << int(c);
    EXPECT_NE(scrambled, key);
}

// --- the stored format -------------------------------------------------------------------

TEST(ProfileString, DecryptsWhatTheIndependentEncryptionWrites)
{
    // Lengths around the block size: only the short last block, only whole blocks, both.
    for (const int length : {1, 2, 7, 8, 9, 15, 16, 17, 24, 63, 64, 65, 255, 1000}) {
        const QByteArray plain = randomBytes(length, quint32(1000 + length));
        const QByteArray stored = referenceEncrypt(plain, keyText());
        EXPECT_EQ(DecryptProfileString(stored), plain) << length;
        EXPECT_EQ(EncryptProfileString(plain), stored) << length;
        EXPECT_EQ(QByteArray::fromBase64(stored).size(), length) << "nothing added";
    }
}

TEST(ProfileString, KnownValuesNeverChange)
{
    // Values already written to machines must keep decrypting: these pin the key text.
    EXPECT_EQ(DecryptProfileString("3Vdg3/hJYOAruSyBVCoj+ibLeRxM/"
                                   "yNFfb8YFZNoWd606HHjX6r0ZaBz0jWNNkRPdXDBkNpC3TPnZjzxE9XTFS7ItmUgiQ=="),
              "Provider=OraOLEDB.Oracle;Password=segredo;User ID=zul;Data Source=ORCL");
    EXPECT_EQ(DecryptProfileString("tzeRLp8U0yIW2JDlmOzyJA66i2xPG2JYSld7fPRo2w=="),
              "Data Source=/var/lib/zul/zul.db");
}

TEST(ProfileString, EmptyAndRepeatedValues)
{
    EXPECT_EQ(DecryptProfileString(""), "");
    EXPECT_EQ(EncryptProfileString(""), "");
    // The feedback start value is fixed: the same text is always stored the same way, and
    // nothing of one call leaks into the next.
    const QByteArray text = "User ID=a;Password=b";
    EXPECT_EQ(EncryptProfileString(text), EncryptProfileString(text));
    EXPECT_EQ(DecryptProfileString(EncryptProfileString(text)), text);
}

// --- Base64 tolerance --------------------------------------------------------------------

TEST(ProfileBase64, SkippedCharactersAndMissingFillChangeNothing)
{
    const QByteArray plain = "Server=db;Port=5432;Database=zul;User ID=zul;Password=x";
    const QByteArray stored = EncryptProfileString(plain);
    ASSERT_TRUE(stored.endsWith('='));

    QByteArray lines;
    for (qsizetype i = 0; i < stored.size(); i += 10)
        lines += stored.mid(i, 10) + "\r\n";
    EXPECT_EQ(DecryptProfileString(lines), plain);

    QByteArray noisy = "{\"";
    for (const char c : stored)
        noisy += c + QByteArray(" \t$()[],;:-_\\*'").mid(int(uchar(c)) % 16, 1);
    noisy += "\"}";
    EXPECT_EQ(DecryptProfileString(noisy), plain);

    QByteArray unfilled = stored;
    while (unfilled.endsWith('='))
        unfilled.chop(1);
    EXPECT_EQ(DecryptProfileString(unfilled), plain);
}

TEST(ProfileBase64, DecodesTheStandardAlphabet)
{
    EXPECT_EQ(DecodeProfileBase64("QQ=="), "A");
    EXPECT_EQ(DecodeProfileBase64("QQ"), "A");
    EXPECT_EQ(DecodeProfileBase64("QUI"), "AB");
    EXPECT_EQ(DecodeProfileBase64("QUJD"), "ABC");
    EXPECT_EQ(DecodeProfileBase64("+/+/"), hex("fbffbf"));
    EXPECT_EQ(DecodeProfileBase64(" Q U J D \n"), "ABC");
}

class ProfileBase64Rejects : public ::testing::TestWithParam<const char*>
{
};

TEST_P(ProfileBase64Rejects, WithTheFormatMessage)
{
    try {
        DecryptProfileString(GetParam());
        ADD_FAILURE() << "accepted " << GetParam();
    } catch (const Error& error) {
        EXPECT_EQ(error.message(), u"Input is not an valid MIME Base 64 Format."_s);
    }
}

INSTANTIATE_TEST_SUITE_P(Characters, ProfileBase64Rejects,
                         ::testing::Values("QUJD!", "QU.JD", "QUJD#", "?QUJD", "QUJD\xE9", "QU%JD",
                                           "QUJD\x01", "QQ==QQ==", "QUJD@"));

} // namespace
} // namespace zul
