#include <fwtool/commands.h>

#include <flash/firmwareimage.h>
#include <signature/imagesignature.h>

#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSaveFile>
#include <cerrno>
#include <cstring>

namespace fwtool {

namespace {

// Qt calls a directory "file to open is a directory"; users know the system's words.
QString whyNotOpened(const QFileDevice &file)
{
    if (QFileInfo(file.fileName()).isDir())
        return QString::fromLocal8Bit(std::strerror(EISDIR));
    return file.errorString();
}

bool readWhole(const QString &path, QByteArray *data, QString *error)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        *error = QString("cannot open %1: %2").arg(path, whyNotOpened(file));
        return false;
    }
    if (file.size() > firmware::MaxFileSize) {
        *error = QString("%1 is larger than %2 bytes").arg(path).arg(firmware::MaxFileSize);
        return false;
    }
    *data = file.readAll();
    return true;
}

qint64 paddedLength(qint64 length)
{
    return (length + firmware::PacketSize - 1) / firmware::PacketSize * firmware::PacketSize;
}

// What the updater would make of an image: the first line of `info`, and its exit code.
struct Verdict
{
    QString verdict;
    QString reason; // empty when there is nothing more to say
    int exitCode = ExitOk;

    QString line() const { return reason.isEmpty() ? verdict : verdict + ": " + reason; }
};

Verdict judge(const firmware::Image &image, const InfoRequest &request)
{
    const QString problem = firmware::formatProblem(image);
    if (!problem.isEmpty()) {
        const qint64 dspLength = image.dspEnd - firmware::HeaderSize;
        const bool sizesDisagree =
            image.headerComplete && image.dspEnd + image.armLength != image.data.size();
        return {"not a firmware image",
                sizesDisagree ? QString("declared sizes %1 + %2 do not match the file size %3")
                                    .arg(dspLength)
                                    .arg(image.armLength)
                                    .arg(image.data.size())
                              : problem,
                ExitRefused};
    }
    if (!request.deviceVersion)
        return {"firmware image", QString(), ExitOk};
    const quint16 device = *request.deviceVersion;
    switch (firmware::versionCheck(request.productId, device, image.fileVersion)) {
    case -1:
        return {"refused", "The firmware file does not match the current device", ExitRefused};
    case -2:
        return {"refused", "The software type does not match the current device", ExitRefused};
    default:
        break;
    }
    if (firmware::openResult(image, device) == 2)
        return {"accepted with a warning",
                "The firmware file version is lower than the current device", ExitOk};
    return {"accepted", QString(), ExitOk};
}

} // namespace

QString exitCodeTable()
{
    return QStringLiteral(
        "Exit codes: 0 done, 1 a file could not be read or written, 2 a wrong command line, "
        "3 a file that is not a firmware image, that the device would refuse, or whose signature "
        "is invalid (or missing where one is required), 4 no device "
        "(or no version reply within 3 s, a device that cannot take the update, or one that "
        "another program is updating), 5 a file older than the device's firmware, 10 + N update "
        "error N, 130 interrupted (the device is left in its bootloader).");
}

int fail(Streams &io, const QString &text, int code)
{
    io.err << "fwtool: " << text << '\n';
    if (io.json)
        printJsonError(io, text, code);
    return code;
}

void printJsonError(Streams &io, const QString &text, int code)
{
    io.out << QJsonDocument(
                  QJsonObject{{"outcome", "error"}, {"exitCode", code}, {"message", text}})
                  .toJson(QJsonDocument::Compact)
           << '\n';
}

int pack(const PackRequest &request, Streams &io)
{
    QByteArray dsp, arm;
    QString error;
    if (!readWhole(request.dsp, &dsp, &error) || !readWhole(request.arm, &arm, &error))
        return fail(io, error, ExitFile);
    if (dsp.isEmpty() || arm.isEmpty())
        return fail(io, "both images must hold at least one byte", ExitUsage);
    const QByteArray file = firmware::pack(dsp, arm, request.version, request.fill);
    if (file.size() > firmware::MaxFileSize)
        return fail(io, "the images together are too large for a firmware file", ExitUsage);
    // Written aside and renamed: a failed write must not leave half an image behind.
    QSaveFile out(request.out);
    if (!out.open(QIODevice::WriteOnly) || out.write(file) != file.size() || !out.commit())
        return fail(io, QString("cannot write %1: %2").arg(request.out, whyNotOpened(out)),
                    ExitFile);
    if (request.json) {
        io.out << QJsonDocument(QJsonObject{{"outcome", "packed"},
                                            {"exitCode", ExitOk},
                                            {"out", request.out},
                                            {"dspLength", double(paddedLength(dsp.size()))},
                                            {"armLength", double(paddedLength(arm.size()))},
                                            {"version", request.version}})
                      .toJson(QJsonDocument::Compact)
               << '\n';
        return ExitOk;
    }
    io.out << QString("%1: DSP %2 bytes, ARM %3 bytes, version %4\n")
                  .arg(request.out)
                  .arg(paddedLength(dsp.size()))
                  .arg(paddedLength(arm.size()))
                  .arg(request.version);
    return ExitOk;
}

int info(const InfoRequest &request, Streams &io)
{
    firmware::Image image;
    Verdict verdict;
    qint64 size = 0;
    switch (firmware::load(request.path, &image)) {
    case firmware::LoadError::CannotOpen: {
        QFile file(request.path);
        file.open(QIODevice::ReadOnly);
        return fail(io, QString("cannot open %1: %2").arg(request.path, whyNotOpened(file)),
                    ExitFile);
    }
    case firmware::LoadError::TooLarge:
        size = QFileInfo(request.path).size();
        verdict = {"not a firmware image",
                   QString("larger than %1 bytes").arg(firmware::MaxFileSize), ExitRefused};
        break;
    case firmware::LoadError::None:
        size = image.data.size();
        verdict = judge(image, request);
        break;
    }
    // As the updater: with a key, an invalid signature refuses a file it would take.
    const imagesignature::Result signature =
        imagesignature::check(image.data, request.path, request.key);
    if (verdict.exitCode == ExitOk && signature.state == imagesignature::State::Invalid)
        verdict = {"refused", imagesignature::refusal().english, ExitRefused};
    const QString signatureText =
        imagesignature::stateName(signature.state) +
        (signature.state == imagesignature::State::Valid ? ": " + signature.trustedComment
                                                         : QString());

    if (request.json) {
        // Header fields the file does not have are null.
        const auto field = [&image](qint64 value) {
            return image.headerComplete ? QJsonValue(double(value)) : QJsonValue();
        };
        const QJsonObject object{{"size", double(size)},
                                 {"dspLength", field(image.dspEnd - firmware::HeaderSize)},
                                 {"armLength", field(image.armLength)},
                                 {"version", field(image.fileVersion)},
                                 {"verdict", verdict.verdict},
                                 {"reason", verdict.reason},
                                 {"signature", imagesignature::stateName(signature.state)}};
        io.out << QJsonDocument(object).toJson(QJsonDocument::Compact) << '\n';
        return verdict.exitCode;
    }
    io.out << verdict.line() << '\n';
    io.out << QString("file:        %1 (%2 bytes)\n").arg(request.path).arg(size);
    if (image.headerComplete) {
        io.out << QString("DSP length:  %1\n").arg(image.dspEnd - firmware::HeaderSize);
        io.out << QString("version:     %1\n").arg(image.fileVersion);
        io.out << QString("ARM length:  %1\n").arg(image.armLength);
    }
    io.out << QString("signature:   %1\n").arg(signatureText);
    return verdict.exitCode;
}

} // namespace fwtool
