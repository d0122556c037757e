#include <signature/minisign.h>

#include <QList>
#include <sodium.h>

namespace minisign {

namespace {

const QByteArray UntrustedPrefix = "untrusted comment: ";
const QByteArray TrustedPrefix = "trusted comment: ";
// Two bytes of algorithm, then the key id, as both files begin.
constexpr int AlgorithmSize = 2;

// Strict base64 of exactly `size` bytes, or nothing.
std::optional<QByteArray> decode(const QByteArray &line, int size)
{
    const QByteArray::FromBase64Result result =
        QByteArray::fromBase64Encoding(line, QByteArray::AbortOnBase64DecodingErrors);
    if (!result || result.decoded.size() != size)
        return std::nullopt;
    return result.decoded;
}

// The lines of a text, each without its line end ("\n" or "\r\n"); empty trailing lines go.
QList<QByteArray> linesOf(const QByteArray &text)
{
    QList<QByteArray> lines = text.split('\n');
    for (QByteArray &line : lines) {
        if (line.endsWith('\r'))
            line.chop(1);
    }
    while (!lines.isEmpty() && lines.last().isEmpty())
        lines.removeLast();
    return lines;
}

bool ready()
{
    // Idempotent and thread-safe; -1 only when the system has no randomness source.
    static const bool initialised = sodium_init() >= 0;
    return initialised;
}

bool verifyDetached(const QByteArray &signature, const QByteArray &message, const QByteArray &key)
{
    return crypto_sign_verify_detached(
               reinterpret_cast<const unsigned char *>(signature.constData()),
               reinterpret_cast<const unsigned char *>(message.constData()),
               quint64(message.size()),
               reinterpret_cast<const unsigned char *>(key.constData())) == 0;
}

} // namespace

std::optional<PublicKey> parsePublicKey(const QByteArray &text)
{
    if (text.size() > MaxSignatureFileSize)
        return std::nullopt;
    QList<QByteArray> lines = linesOf(text.trimmed());
    if (!lines.isEmpty() && lines.first().startsWith(UntrustedPrefix))
        lines.removeFirst();
    if (lines.size() != 1)
        return std::nullopt;
    const std::optional<QByteArray> bytes =
        decode(lines.first().trimmed(), AlgorithmSize + KeyIdSize + PublicKeySize);
    if (!bytes || !bytes->startsWith("Ed"))
        return std::nullopt;
    return PublicKey{bytes->mid(AlgorithmSize, KeyIdSize), bytes->mid(AlgorithmSize + KeyIdSize)};
}

std::optional<Signature> parseSignature(const QByteArray &text)
{
    if (text.size() > MaxSignatureFileSize)
        return std::nullopt;
    const QList<QByteArray> lines = linesOf(text);
    if (lines.size() != 4 || !lines[0].startsWith(UntrustedPrefix) ||
        !lines[2].startsWith(TrustedPrefix))
        return std::nullopt;
    const std::optional<QByteArray> bytes =
        decode(lines[1], AlgorithmSize + KeyIdSize + SignatureSize);
    const std::optional<QByteArray> global = decode(lines[3], SignatureSize);
    if (!bytes || !global)
        return std::nullopt;
    const QByteArray algorithm = bytes->left(AlgorithmSize);
    if (algorithm != "Ed" && algorithm != "ED")
        return std::nullopt;
    Signature signature;
    signature.prehashed = algorithm == "ED";
    signature.keyId = bytes->mid(AlgorithmSize, KeyIdSize);
    signature.signature = bytes->mid(AlgorithmSize + KeyIdSize);
    signature.trustedComment = lines[2].mid(TrustedPrefix.size());
    signature.globalSignature = *global;
    return signature;
}

bool verify(const PublicKey &key, const Signature &signature, const QByteArray &message)
{
    if (!ready() || key.keyId != signature.keyId || key.key.size() != PublicKeySize ||
        signature.signature.size() != SignatureSize ||
        signature.globalSignature.size() != SignatureSize)
        return false;
    QByteArray hash;
    if (signature.prehashed) {
        hash.resize(crypto_generichash_BYTES_MAX); // 64: BLAKE2b-512, as minisign hashes
        crypto_generichash(reinterpret_cast<unsigned char *>(hash.data()), size_t(hash.size()),
                           reinterpret_cast<const unsigned char *>(message.constData()),
                           quint64(message.size()), nullptr, 0);
    }
    return verifyDetached(signature.signature, signature.prehashed ? hash : message, key.key) &&
           verifyDetached(signature.globalSignature, signature.signature + signature.trustedComment,
                          key.key);
}

} // namespace minisign
