#include <fwtool/signaturecommand.h>

#include <flash/firmwareimage.h>
#include <signature/imagesignature.h>
#include <signature/minisign.h>

#include <QFile>

namespace fwtool {

void addKeyOption(QCommandLineParser &parser)
{
    parser.addOption({"key",
                      "Check signatures with this minisign public key file instead of "
                      "the build's key.",
                      "KEYFILE"});
}

std::optional<QByteArray> chosenKey(const QCommandLineParser &parser, QTextStream &err)
{
    if (!parser.isSet("key"))
        return imagesignature::buildKey();
    const QString path = parser.value("key");
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        err << "fwtool: cannot open " << path << ": " << file.errorString() << '\n';
        return std::nullopt;
    }
    const QByteArray key = file.read(minisign::MaxSignatureFileSize + 1);
    if (!minisign::parsePublicKey(key)) {
        err << "fwtool: " << path << " holds no minisign public key\n";
        return std::nullopt;
    }
    return key;
}

void defineVerify(QCommandLineParser &parser)
{
    parser.setApplicationDescription(
        "Checks a firmware file's minisign signature (FILE.minisig beside it). Exit code 0 "
        "valid, 3 invalid or missing, 2 no key (this build has none: give --key).");
    parser.addPositionalArgument("verify", "This command.", "verify");
    parser.addPositionalArgument("file", "The firmware file.", "FILE.fw");
    addKeyOption(parser);
}

int runVerify(const QCommandLineParser &parser, Streams &io)
{
    const QStringList words = parser.positionalArguments();
    if (words.size() != 2)
        return fail(io, words.size() < 2 ? "verify needs a firmware file" : "verify takes one file",
                    ExitUsage);
    const std::optional<QByteArray> key = chosenKey(parser, io.err);
    if (!key)
        return ExitUsage;
    if (key->isEmpty())
        return fail(io, "this build has no signing key: give --key KEYFILE", ExitUsage);
    const QString path = words.at(1);
    firmware::Image image;
    if (firmware::load(path, &image) != firmware::LoadError::None)
        return fail(io, QString("cannot read %1").arg(path), ExitFile);
    const imagesignature::Result result = imagesignature::check(image.data, path, *key);
    const QString state = imagesignature::stateName(result.state);
    if (result.state != imagesignature::State::Valid)
        return fail(io, QString("%1: signature %2").arg(path, state), ExitSignature);
    io.out << path << ": signature valid: " << result.trustedComment << '\n';
    return ExitOk;
}

QString flashRefusal(const QString &path, const QByteArray &key, bool required)
{
    firmware::Image image;
    if ((key.isEmpty() && !required) || firmware::load(path, &image) != firmware::LoadError::None)
        return QString();
    const imagesignature::State state = imagesignature::check(image.data, path, key).state;
    if (state == imagesignature::State::Valid ||
        (!required && state != imagesignature::State::Invalid))
        return QString();
    if (state == imagesignature::State::NoKey)
        return "--require-signature: this build has no signing key; give --key KEYFILE";
    return QString("%1: signature %2: %3")
        .arg(path, imagesignature::stateName(state), imagesignature::refusal().english);
}

} // namespace fwtool
