#pragma once

#include <QByteArray>
#include <QString>

namespace zul {

// Connection strings of the profiles are kept in the registry encrypted: Blowfish keyed with
// the RIPEMD-256 digest of a 255-character key text, a fixed feedback start value and a final
// short block that is neither padded nor stolen, so the ciphertext is exactly as long as the
// text; the registry holds it in MIME Base64. Texts are single-byte (Windows-1252) bytes.
// Every call builds its own cipher state; nothing survives between calls.

// The stored value back to the connection string. An empty value gives an empty text. Throws
// Error("Input is not an valid MIME Base 64 Format.") when the value holds a character that
// is neither Base64 nor one of the separators that are skipped.
QByteArray DecryptProfileString(const QByteArray& stored);

// True when a decrypted value can be a connection string at all: single-byte text without
// control characters or code points that Windows-1252 leaves unassigned. The cipher has no
// integrity check, so a value written under another key, or damaged, decrypts to bytes
// without complaint; those bytes almost never pass this test, and they must never reach a
// database driver as its connection string.
bool IsConnectionStringText(const QByteArray& plain);

// The exact inverse, for the tools that write profiles: Base64 with "=" fill, no line breaks.
QByteArray EncryptProfileString(const QByteArray& plain);

// Rebuilds a text kept in scrambled form: a fixed permutation of the positions, then every
// byte lowered by `shift` (modulo 256). ScrambleText is its inverse.
QByteArray UnscrambleText(const QByteArray& text, int shift);
QByteArray ScrambleText(const QByteArray& text, int shift);

// The key text exactly as the program holds it: scrambled (shift 5), never in rebuilt form.
QByteArray ScrambledProfileKeyText();

// The decoding rules of stored values, on their own: standard alphabet, "=" fill optional,
// blanks, line breaks and a few separators skipped. Throws like DecryptProfileString.
QByteArray DecodeProfileBase64(const QByteArray& text);

} // namespace zul
