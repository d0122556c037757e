// A signature file comes from the update server or lies beside a file a user picks. Each
// input is such a file (or a public key file). Parsing must refuse or give fields of the
// format's sizes; a signature that verifies must be one that minisign made: the seeds
// in fuzz/corpus/minisign were made with the key below over Message.

#include <signature/minisign.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>

namespace {

void fail(const char *what)
{
    std::fprintf(stderr, "minisign: %s\n", what);
    std::abort();
}

const QByteArray Message = "a firmware image";
const QByteArray KeyLine = "RWTj53TgKVfDtmgH41z++wQ2vWvGjUMyzr4QlWkjrVFKp0Kvm7cP/CW9";
// The signature lines of the seeds prehashed.minisig and legacy.minisig.
const QByteArray SeedSignatures[] = {
    "RUTj53TgKVfDtmJhC8N3MEGb/fUXtaBMihd6ffw0ezl/b4fcdoQmWIDx76csSEQxgex5h3HlCWhZdsLYdAD+Slf/"
    "TFXNeBnl8gE=",
    "RWTj53TgKVfDtkrpPcgje7goalx6j8j2972CMYS7kS3BX9m/LkDoQF7ZUjg3TYEngS29V/+eVa4SoOPewTyJwKuU"
    "urn7MehZWwE="};
const QByteArray SeedComments[] = {"release 1260", "legacy 1260"};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const QByteArray text(reinterpret_cast<const char *>(data), int(size));
    if (const std::optional<minisign::PublicKey> key = minisign::parsePublicKey(text)) {
        if (key->keyId.size() != minisign::KeyIdSize || key->key.size() != minisign::PublicKeySize)
            fail("a public key of the wrong size");
    }
    const std::optional<minisign::Signature> signature = minisign::parseSignature(text);
    if (!signature)
        return 0;
    if (signature->keyId.size() != minisign::KeyIdSize ||
        signature->signature.size() != minisign::SignatureSize ||
        signature->globalSignature.size() != minisign::SignatureSize)
        fail("a signature of the wrong size");
    if (signature->trustedComment.contains('\n') ||
        size > std::size_t(minisign::MaxSignatureFileSize))
        fail("a line end in the trusted comment, or an oversized file taken");
    static const minisign::PublicKey key = *minisign::parsePublicKey(KeyLine);
    if (!minisign::verify(key, *signature, Message))
        return 0;
    // Only minisign's own two signatures, with their own comments, may verify.
    for (int seed = 0; seed < 2; ++seed) {
        const QByteArray bytes = QByteArray::fromBase64(SeedSignatures[seed]);
        if (signature->signature == bytes.mid(10) &&
            signature->trustedComment == SeedComments[seed] && signature->prehashed == (seed == 0))
            return 0;
    }
    fail("a signature verified that minisign did not make");
    return 0;
}
