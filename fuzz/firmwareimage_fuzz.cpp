// A firmware file is whatever the user picks. Each input is such a file, read through
// firmware::load as the updater and fwtool read it; its verdict must agree with the
// sizes worked out here from the raw bytes, and a file that passes must be exactly
// what pack makes of its two images.

#include <flash/firmwareimage.h>

#include <QFile>
#include <QTemporaryDir>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

namespace {

void fail(const char *what)
{
    std::fprintf(stderr, "firmwareimage: %s\n", what);
    std::abort();
}

std::uint64_t bigEndian32(const std::uint8_t *b)
{
    return std::uint64_t(b[0]) << 24 | std::uint64_t(b[1]) << 16 | std::uint64_t(b[2]) << 8 |
           std::uint64_t(b[3]);
}

QString scratchFile()
{
    static QTemporaryDir dir;
    if (!dir.isValid())
        fail("no temporary folder");
    return dir.filePath(QStringLiteral("input.fw"));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char *>(data), int(size));
    const QString path = scratchFile();
    {
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) ||
            file.write(bytes) != bytes.size())
            fail("cannot write the input file");
    }
    firmware::Image image;
    if (firmware::load(path, &image) != firmware::LoadError::None)
        fail("a small readable file was refused");
    if (image.data != bytes)
        fail("load did not return the file's bytes");

    // The sizes from the raw bytes, in 64 bits so that nothing wraps.
    bool expectWellFormed = false;
    if (size >= 16) {
        const std::uint64_t dsp = bigEndian32(data);
        const std::uint64_t arm = bigEndian32(data + 8);
        expectWellFormed =
            16 + dsp + arm == size && dsp > 0 && dsp % 8 == 0 && arm > 0 && arm % 8 == 0;
        if (!image.headerComplete || image.dspEnd != qint64(dsp) + 16 ||
            image.armLength != qint64(arm) ||
            image.fileVersion != qint32(std::uint32_t(bigEndian32(data + 4))))
            fail("header fields differ from the bytes");
    } else if (image.headerComplete) {
        fail("a header in fewer than 16 bytes");
    }
    if (firmware::wellFormed(image) != expectWellFormed)
        fail("wellFormed disagrees with the sizes");
    if (firmware::formatProblem(image).isEmpty() != expectWellFormed)
        fail("formatProblem disagrees with wellFormed");

    for (const quint16 device : {quint16(0), quint16(1250), quint16(0xFFFF)}) {
        const int result = firmware::openResult(image, device);
        const int expected = !expectWellFormed ? 1 : (qint32(device) > image.fileVersion ? 2 : 0);
        if (result != expected)
            fail("openResult out of step");
        for (const int product : {0x0526, 0x0522, 0x0524, 0x0001}) {
            const int family = firmware::versionCheck(product, device, image.fileVersion);
            if (family != 1 && family != -1 && family != -2)
                fail("versionCheck gave a code outside 1, -1, -2");
        }
    }

    if (expectWellFormed) {
        // Packing the two images again gives the same file (the unused field as 0).
        const int dspLength = int(image.dspEnd - firmware::HeaderSize);
        const QByteArray repacked = firmware::pack(
            bytes.mid(16, dspLength), bytes.mid(int(image.dspEnd)), image.fileVersion, '\xFF');
        QByteArray expected = bytes;
        expected.replace(12, 4, QByteArray(4, '\0'));
        if (repacked != expected)
            fail("pack does not rebuild a well-formed file");
    } else if (size >= 2) {
        // Any two byte runs pack into a file that passes once both are non-empty.
        const int cut = int(data[0] % (size - 1)) + 1;
        const QByteArray packed =
            firmware::pack(bytes.left(cut), bytes.mid(cut), qint32(size), char(data[1]));
        const firmware::Image again = firmware::fromBytes(packed);
        if (!firmware::wellFormed(again) || again.fileVersion != qint32(size) ||
            again.dspEnd - 16 < cut || again.dspEnd - 16 >= cut + 8 ||
            packed.mid(16, cut) != bytes.left(cut))
            fail("a packed file does not pass or does not hold its images");
    }
    return 0;
}
