#include <signature/imagesignature.h>
#include <signature/minisign.h>

#include <QFile>

namespace imagesignature {

QByteArray buildKey()
{
    return QByteArrayLiteral(UPDATE_SIGNING_KEY);
}

QString signaturePath(const QString &imagePath)
{
    return imagePath + QStringLiteral(".minisig");
}

Result check(const QByteArray &image, const QString &imagePath, const QByteArray &key)
{
    if (key.isEmpty())
        return {State::NoKey, {}};
    QFile file(signaturePath(imagePath));
    if (!file.exists())
        return {State::Missing, {}};
    // One byte more than allowed tells a file that is too large without reading it all.
    if (!file.open(QIODevice::ReadOnly))
        return {State::Invalid, {}};
    const std::optional<minisign::PublicKey> publicKey = minisign::parsePublicKey(key);
    const std::optional<minisign::Signature> signature =
        minisign::parseSignature(file.read(minisign::MaxSignatureFileSize + 1));
    if (!publicKey || !signature || !minisign::verify(*publicKey, *signature, image))
        return {State::Invalid, {}};
    return {State::Valid, QString::fromUtf8(signature->trustedComment)};
}

QString stateName(State state)
{
    switch (state) {
    case State::Valid:
        return QStringLiteral("valid");
    case State::Invalid:
        return QStringLiteral("invalid");
    case State::Missing:
        return QStringLiteral("missing");
    case State::NoKey:
        break;
    }
    return QStringLiteral("no-key");
}

Text refusal()
{
    return {QStringLiteral("固件签名缺失或不匹配"),
            QStringLiteral("The firmware's signature is missing or does not match")};
}

Text label(const Result &result)
{
    switch (result.state) {
    case State::Valid:
        return {QStringLiteral("已签名: ") + result.trustedComment,
                QStringLiteral("signed: ") + result.trustedComment};
    case State::Missing:
    case State::Invalid:
        return {QStringLiteral("未签名"), QStringLiteral("unsigned")};
    case State::NoKey:
        break;
    }
    return {};
}

} // namespace imagesignature
