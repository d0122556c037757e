#pragma once
// A firmware image file: a 16-byte big-endian header (DSP length, version, ARM
// length, unused), then the DSP image and the ARM image. Everything here is checked
// before a single byte goes to the device.

#include <QByteArray>
#include <QString>

namespace firmware {

constexpr qint64 HeaderSize = 16;
constexpr qint64 PacketSize = 8;
// Far above any image of this device; a larger file is refused unread.
constexpr qint64 MaxFileSize = 16 * 1024 * 1024;

struct Image
{
    QByteArray data; // the whole file
    bool headerComplete = false;
    qint64 dspEnd = 0; // DSP length + 16: where the ARM image starts
    qint64 armLength = 0;
    qint32 fileVersion = 0; // the header's version field, signed as the device compares it
};

enum class LoadError
{
    None,
    CannotOpen,
    TooLarge
};

// Reads the file at `path` whole (refusing it unread above MaxFileSize).
LoadError load(const QString &path, Image *image);
// Takes the header fields from `data`; a file shorter than the header has none.
Image fromBytes(const QByteArray &data);

// True when the sizes fit: the file is exactly header + DSP + ARM, and both images
// are whole, non-empty runs of 8-byte packets (the transfer ends on exact offsets).
bool wellFormed(const Image &image);

// 1 when the sizes do not fit, 2 when the device has a newer version than the file
// (a warning only), 0 otherwise.
int openResult(const Image &image, quint16 deviceVersion);

// A firmware file from two images, each padded with `fill` to whole 8-byte packets.
QByteArray pack(QByteArray dsp, QByteArray arm, qint32 version, char fill);

// Why `openResult` refused an image, in words, or an empty text.
QString formatProblem(const Image &image);

// What the updater makes of a chosen file, in the order its checks run.
enum class Verdict
{
    Accepted,
    LowerVersion, // accepted, with a warning
    NoPath,
    CannotOpen,
    DoesNotMatchDevice,
    UnknownSoftwareType,
    FormatError,
};

// The result of opening a file as the updater reports it: 3 it cannot be opened,
// 1 too large or its sizes do not fit, otherwise openResult's.
int openCode(LoadError error, const Image &image, quint16 deviceVersion);
// Combines whether a path was chosen, openCode's result and versionCheck's.
Verdict judge(bool hasPath, int opened, int family);
bool accepted(Verdict verdict);

struct Tip
{
    QString chinese;
    QString english;
};
// The tip the updater shows for `verdict`; empty for an accepted file.
Tip tipFor(Verdict verdict);

// The product family rule: 1 fits, -1 the file does not match the device, -2 the
// device's software type is not known for this product.
int versionCheck(int productId, quint16 deviceVersion, qint32 fileVersion);

} // namespace firmware
