#pragma once
// Whether a firmware image carries its vendor's signature: the minisign file beside it
// (image path + ".minisig") checked against a public key. Without a key nothing is
// checked, and every caller behaves as a build without signatures.

#include <QByteArray>
#include <QString>

namespace imagesignature {

enum class State
{
    NoKey,   // nothing to check against
    Missing, // no signature file beside the image
    Invalid, // a signature file that is malformed, of another key or of other bytes
    Valid,
};

struct Result
{
    State state = State::NoKey;
    QString trustedComment; // of a valid signature
};

// The build's key: the minisign public key line given as UPDATE_SIGNING_KEY, or empty.
QByteArray buildKey();

QString signaturePath(const QString &imagePath);

// Checks `image` (the bytes of the file at `imagePath`) against the signature file
// beside it. `key` is a public key line or a minisign.pub file's text; a key that is
// set but cannot be read verifies nothing.
Result check(const QByteArray &image, const QString &imagePath, const QByteArray &key);

// "valid", "invalid", "missing", "no-key": the names scripts read.
QString stateName(State state);

struct Text
{
    QString chinese;
    QString english;
};
// Why an image was refused for its signature.
Text refusal();
// The version label's line for a checked image: "signed: <comment>" or "unsigned";
// empty without a key.
Text label(const Result &result);

} // namespace imagesignature
