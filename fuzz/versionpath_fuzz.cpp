// The version file comes from the update server and its first line becomes part of
// local paths (the image "<model>/<line>.bin" below the cache folder). Whatever the
// file holds, and whatever version the device reports, no path the online check
// builds may resolve outside the cache folder: checked on the cleaned text for
// several cache folders, and on the real file system for a folder of our own.
//
// Input: bytes 0-1 the device version (low byte first), byte 2 the cache folder,
// the rest the version file.

#include <updater/online/cachepath.h>
#include <updater/online/modeltable.h>
#include <updater/online/versionline.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <cstdio>
#include <cstdlib>

namespace {

void fail(const char *what, const QString &path = QString())
{
    std::fprintf(stderr, "versionpath: %s %s\n", what, qUtf8Printable(path));
    std::abort();
}

QTemporaryDir &scratch()
{
    static QTemporaryDir dir;
    if (!dir.isValid())
        fail("no temporary folder");
    return dir;
}

bool plainDigits(const QString &line)
{
    if (line.isEmpty() || line.size() > 10)
        return false;
    for (const QChar c : line) {
        if (c.unicode() < '0' || c.unicode() > '9')
            return false;
    }
    return true;
}

// `path` is CachePath's answer for `base`: empty, or strictly below the cleaned base,
// with nothing left that climbs out of it.
void checkInside(const QString &base, const QString &path, bool onDisk)
{
    if (path.isEmpty())
        return;
    const QString root = QDir::cleanPath(base);
    const QString prefix = root.endsWith(QLatin1Char('/')) ? root : root + QLatin1Char('/');
    if (!path.startsWith(prefix) || path.size() == prefix.size())
        fail("a path outside its cache folder:", path);
    if (QDir::cleanPath(path) != path)
        fail("a path that is not clean:", path);
    for (const QString &part : path.mid(prefix.size()).split(QLatin1Char('/'))) {
        if (part == QLatin1String("..") || part == QLatin1String(".") || part.isEmpty())
            fail("a path with a step out or an empty step:", path);
    }
    if (!onDisk || path.contains(QChar(0)))
        return;
    // Made for real, the file must sit below the folder once every link is resolved.
    QDir().mkpath(QFileInfo(path).path());
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return; // a name the file system refuses (too long, say) is harmless
    file.close();
    const QString real = QFileInfo(path).canonicalFilePath();
    const QString realRoot = QFileInfo(root).canonicalFilePath() + QLatin1Char('/');
    if (!real.startsWith(realRoot))
        fail("a file made outside the cache folder:", real);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    if (size < 3)
        return 0;
    const int deviceVersion = data[0] | data[1] << 8;
    const QString disk = scratch().filePath(QStringLiteral("app/file"));
    const QString bases[] = {disk + QLatin1Char('/'), disk, QStringLiteral("file/"),
                             QStringLiteral("/opt/rivet/file/"),
                             QStringLiteral("C:/Program Files/rivet/file/")};
    const int choice = data[2] % 5;
    const QString base = bases[choice];
    const bool onDisk = choice < 2;
    QDir(disk).removeRecursively();
    QDir().mkpath(disk);

    // The version file as the check reads it: through a real file.
    const QString versionFile = scratch().filePath(QStringLiteral("version.txt"));
    {
        QFile file(versionFile);
        if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
            fail("cannot write the version file");
        file.write(reinterpret_cast<const char *>(data) + 3, qint64(size - 3));
    }
    QStringList lines;
    if (ReadTextLines(versionFile, lines) != 0)
        fail("a written file could not be read");
    for (const QString &line : lines) {
        if (line.contains(QLatin1Char('\n')))
            fail("a line with a line end in it");
    }
    const QString first = lines.isEmpty() ? QString() : lines.first();
    const bool plain = IsPlainVersion(first);
    if (plain != plainDigits(first))
        fail("IsPlainVersion is not 1 to 10 decimal digits:", first);

    const QString deviceText = QString::number(deviceVersion);
    const bool newer = ServerHasNewer(deviceText, first);
    if (plain && first.size() == 4 && deviceText.size() == 4 &&
        newer != (first.toInt() > deviceVersion))
        fail("four-digit versions not compared in numeric order:", first);

    // Every path the check makes from the server's line and the device's model.
    const std::optional<ModelEntry> model = ModelForVersion(deviceVersion);
    const QString modelName = model ? model->versionFile.left(7) : QStringLiteral("VKP2000");
    if (model) {
        checkInside(base, CachePath(base, model->versionFile), onDisk);
        checkInside(base, CachePath(base, model->versionFile.split(QLatin1Char('/')).first()),
                    onDisk);
    }
    const QString image = CachePath(base, ImageServerPath(modelName, first));
    if (plain && image.isEmpty())
        fail("no image path for a plain version:", first);
    checkInside(base, image, onDisk);
    // The server's text used bare, as a hostile server would have it used.
    checkInside(base, CachePath(base, first), onDisk);
    checkInside(base, CachePath(base, QStringLiteral("VKP2000/%1.bin").arg(first)), onDisk);
    return 0;
}
