// Stored connection strings: Base64 with its tolerance rules, then the profile cipher.
// Decoding either succeeds or throws the format error; the cipher never changes the length and
// encryption undoes decryption.
#include "dbconfig/Criptografa.h"
#include "support/Error.h"

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const QByteArray input(reinterpret_cast<const char*>(data), qsizetype(size));
    try {
        const QByteArray cipherText = zul::DecodeProfileBase64(input);
        const QByteArray plain = zul::DecryptProfileString(input);
        if (input.isEmpty() ? !plain.isEmpty() : plain.size() != cipherText.size())
            std::abort();
        zul::IsConnectionStringText(plain);
        if (!input.isEmpty() && zul::EncryptProfileString(plain) != zul::EncryptProfileString(plain))
            std::abort();
    } catch (const zul::Error&) {
        // Not Base64: the one failure the reader reports.
    }
    // Any bytes as a plain text: encrypted and decrypted back unchanged.
    if (zul::DecryptProfileString(zul::EncryptProfileString(input)) != input)
        std::abort();
    return 0;
}
