#include <flash/firmwareimage.h>

#include <QFile>

namespace firmware {

namespace {

quint32 bigEndian32(const QByteArray &data, int at)
{
    const auto *b = reinterpret_cast<const uchar *>(data.constData()) + at;
    return quint32(b[0]) << 24 | quint32(b[1]) << 16 | quint32(b[2]) << 8 | quint32(b[3]);
}

bool within(int value, int low, int high)
{
    return value >= low && value <= high;
}

} // namespace

LoadError load(const QString &path, Image *image)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return LoadError::CannotOpen;
    if (file.size() > MaxFileSize)
        return LoadError::TooLarge;
    // One byte more than the file claims shows a file that grew meanwhile; files that
    // tell no size (devices, pipes) are read up to the limit.
    const qint64 expected = file.size() > 0 ? file.size() + 1 : MaxFileSize + 1;
    const QByteArray data = file.read(qMin(expected, MaxFileSize + 1));
    if (file.error() != QFileDevice::NoError || data.size() > MaxFileSize)
        return file.error() != QFileDevice::NoError ? LoadError::CannotOpen : LoadError::TooLarge;
    *image = fromBytes(data);
    return LoadError::None;
}

Image fromBytes(const QByteArray &data)
{
    Image image;
    image.data = data;
    if (data.size() < HeaderSize)
        return image;
    image.headerComplete = true;
    image.dspEnd = qint64(bigEndian32(data, 0)) + HeaderSize;
    image.fileVersion = static_cast<qint32>(bigEndian32(data, 4));
    image.armLength = bigEndian32(data, 8);
    return image;
}

bool wellFormed(const Image &image)
{
    return formatProblem(image).isEmpty();
}

int openResult(const Image &image, quint16 deviceVersion)
{
    if (!wellFormed(image))
        return 1;
    if (qint32(deviceVersion) > image.fileVersion)
        return 2;
    return 0;
}

QByteArray pack(QByteArray dsp, QByteArray arm, qint32 version, char fill)
{
    const auto pad = [fill](QByteArray &image) {
        const int rest = image.size() % PacketSize;
        if (rest != 0)
            image.append(QByteArray(int(PacketSize) - rest, fill));
    };
    pad(dsp);
    pad(arm);
    QByteArray file(HeaderSize, '\0');
    const auto put = [&file](int at, quint32 value) {
        for (int i = 0; i < 4; ++i)
            file[at + i] = char(value >> (24 - 8 * i));
    };
    put(0, quint32(dsp.size()));
    put(4, quint32(version));
    put(8, quint32(arm.size()));
    return file + dsp + arm;
}

QString formatProblem(const Image &image)
{
    if (!image.headerComplete)
        return QStringLiteral("shorter than the 16-byte header");
    const qint64 dspLength = image.dspEnd - HeaderSize;
    if (image.dspEnd + image.armLength != image.data.size())
        return QStringLiteral("size %1 is not 16 + %2 + %3")
            .arg(image.data.size())
            .arg(dspLength)
            .arg(image.armLength);
    if (dspLength <= 0 || dspLength % PacketSize != 0)
        return QStringLiteral("DSP length %1 is not a positive multiple of 8").arg(dspLength);
    if (image.armLength <= 0 || image.armLength % PacketSize != 0)
        return QStringLiteral("ARM length %1 is not a positive multiple of 8").arg(image.armLength);
    return QString();
}

int versionCheck(int productId, quint16 deviceVersion, qint32 fileVersion)
{
    const int device = deviceVersion;
    switch (productId) {
    case 0x0526:
        return within(device, 1200, 1299) ? 1 : -1;
    case 0x0522:
        if (!within(device, 5000, 6999))
            return -2;
        return within(fileVersion, 5000, 6999) ? 1 : -1;
    case 0x0524:
        for (int low = 3200; low <= 3800; low += 200) {
            if (within(device, low, low + 199))
                return within(fileVersion, low, low + 199) ? 1 : -1;
        }
        return -2;
    default:
        return 1;
    }
}

int openCode(LoadError error, const Image &image, quint16 deviceVersion)
{
    if (error == LoadError::CannotOpen)
        return 3;
    if (error == LoadError::TooLarge)
        return 1;
    return openResult(image, deviceVersion);
}

Verdict judge(bool hasPath, int opened, int family)
{
    if (!hasPath)
        return Verdict::NoPath;
    if (opened == 3)
        return Verdict::CannotOpen;
    if (family == -1)
        return Verdict::DoesNotMatchDevice;
    if (family == -2)
        return Verdict::UnknownSoftwareType;
    if (opened == 1)
        return Verdict::FormatError;
    return opened == 2 ? Verdict::LowerVersion : Verdict::Accepted;
}

bool accepted(Verdict verdict)
{
    return verdict == Verdict::Accepted || verdict == Verdict::LowerVersion;
}

Tip tipFor(Verdict verdict)
{
    switch (verdict) {
    case Verdict::Accepted:
        return {};
    case Verdict::LowerVersion:
        return {QStringLiteral("固件文件版本低于当前设备"),
                QStringLiteral("The firmware file version is lower than the current device")};
    case Verdict::NoPath:
        return {QStringLiteral("文件路径不能为空"), QStringLiteral("File Path Is Not NULL")};
    case Verdict::CannotOpen:
        return {QStringLiteral("无法打开所选文件"),
                QStringLiteral("The selected file cannot be opened")};
    case Verdict::DoesNotMatchDevice:
        return {QStringLiteral("固件文件与当前设备不匹配"),
                QStringLiteral("The firmware file does not match\n the current device")};
    case Verdict::UnknownSoftwareType:
        return {QStringLiteral("软件类型与当前设备不匹配"),
                QStringLiteral("The software type does not match\n the current device")};
    case Verdict::FormatError:
        return {QStringLiteral("文件格式错误"), QStringLiteral("File Format Is Error")};
    }
    return {};
}

} // namespace firmware
