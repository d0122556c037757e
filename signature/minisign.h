#pragma once
// minisign's public keys and signature files (Ed25519), checked with libsodium. The
// text comes from outside (a download, a file beside an image): every size is bounded
// and anything malformed is refused.

#include <QByteArray>
#include <optional>

namespace minisign {

// minisign bounds a trusted comment at 8 KiB; the other lines are a few hundred bytes.
constexpr int MaxSignatureFileSize = 16 * 1024;
constexpr int KeyIdSize = 8;
constexpr int PublicKeySize = 32;
constexpr int SignatureSize = 64;

struct PublicKey
{
    QByteArray keyId; // KeyIdSize bytes
    QByteArray key;   // PublicKeySize bytes
};

struct Signature
{
    bool prehashed = false; // "ED": the signature covers the file's BLAKE2b-512
    QByteArray keyId;
    QByteArray signature;       // over the file, or its hash
    QByteArray trustedComment;  // without its "trusted comment: " prefix
    QByteArray globalSignature; // over signature + trusted comment
};

// The key's base64 line, alone or in a minisign.pub file (its comment line is skipped).
std::optional<PublicKey> parsePublicKey(const QByteArray &text);
// A .minisig file: untrusted comment, signature, trusted comment, global signature.
std::optional<Signature> parseSignature(const QByteArray &text);
// True when both signatures verify with `key`, which must have signed them (key ids).
bool verify(const PublicKey &key, const Signature &signature, const QByteArray &message);

} // namespace minisign
