#include <updater/online/downloadcheck.h>

#include <flash/firmwareimage.h>
#include <signature/imagesignature.h>

#include <QFile>

namespace downloadcheck {

QString signatureServerPath(const QString &imageServerPath)
{
    return imagesignature::signaturePath(imageServerPath);
}

Refusal checkAndKeep(const QString &imagePath, const QString &version, const QByteArray &key)
{
    if (key.isEmpty())
        return {};
    firmware::Image image;
    Refusal refusal;
    if (firmware::load(imagePath, &image) != firmware::LoadError::None ||
        imagesignature::check(image.data, imagePath, key).state != imagesignature::State::Valid) {
        const imagesignature::Text text = imagesignature::refusal();
        refusal = {text.chinese, text.english};
    } else if (!image.headerComplete || image.fileVersion != version.toLongLong()) {
        // Signed, but not the release announced: an older signed image replayed.
        refusal = {QStringLiteral("固件版本 %1 与服务器公布的版本 %2 不符")
                       .arg(image.fileVersion)
                       .arg(version),
                   QStringLiteral("The firmware's version %1 is not the announced version %2")
                       .arg(image.fileVersion)
                       .arg(version)};
    }
    if (!refusal.english.isEmpty()) {
        QFile::remove(imagePath);
        QFile::remove(imagesignature::signaturePath(imagePath));
    }
    return refusal;
}

} // namespace downloadcheck
