#pragma once
// What a downloaded image must prove before it is loaded, in a build with a signing key:
// its vendor's signature, and the version that the server's version line announced.

#include <QByteArray>
#include <QString>

namespace downloadcheck {

// The signature file the server keeps beside model/version.bin.
QString signatureServerPath(const QString &imageServerPath);

struct Refusal
{
    QString chinese; // empty when the image may be loaded
    QString english;
};

// Checks the image at `imagePath` (its signature file beside it) against `key` and the
// announced `version`. Without a key nothing is refused. A refused image and its
// signature file are removed: nothing unproven stays in the cache.
Refusal checkAndKeep(const QString &imagePath, const QString &version, const QByteArray &key);

} // namespace downloadcheck
