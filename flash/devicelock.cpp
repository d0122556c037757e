#include <flash/devicelock.h>

#include <QCryptographicHash>
#include <QDir>

#ifdef _WIN32
#include <windows.h>
#else
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace flash {

namespace {

#ifdef _WIN32

// Opened without sharing: while one handle is open, every other open fails.
std::intptr_t openExclusive(const QString &file)
{
    const QString native = QDir::toNativeSeparators(file);
    const HANDLE h =
        CreateFileW(reinterpret_cast<const wchar_t *>(native.utf16()), GENERIC_READ | GENERIC_WRITE,
                    0, nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    return h == INVALID_HANDLE_VALUE ? -1 : reinterpret_cast<std::intptr_t>(h);
}

void closeHandle(std::intptr_t h)
{
    CloseHandle(reinterpret_cast<HANDLE>(h));
}

#else

// Made by whoever comes first, for every user, and never through a link someone
// placed there.
int openLockFile(const QString &file)
{
    const QByteArray name = QFile::encodeName(file);
    int fd = ::open(name.constData(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
    if (fd >= 0) {
        fchmod(fd, 0666);
        return fd;
    }
    if (errno != EEXIST)
        return -1;
    return ::open(name.constData(), O_RDWR | O_NOFOLLOW | O_CLOEXEC);
}

// Open file description locks: held per open file, so two holders in one process
// exclude each other as two processes do, and testable without taking them.
struct flock wholeFile(short type)
{
    struct flock lock = {};
    lock.l_type = type;
    lock.l_whence = SEEK_SET;
    return lock;
}

#endif

} // namespace

DeviceLock::DeviceLock(const std::string &devicePath) : file(filePath(devicePath)) {}

DeviceLock::~DeviceLock()
{
    release();
}

QString DeviceLock::filePath(const std::string &devicePath)
{
    const QString folder = qEnvironmentVariableIsEmpty("RIVET_LOCK_DIR")
                               ? QDir::tempPath()
                               : qEnvironmentVariable("RIVET_LOCK_DIR");
    QDir().mkpath(folder);
    // Interface paths hold characters no file name may (\ ? # { }); Windows compares
    // them without regard to case.
    const QByteArray key = QByteArray::fromStdString(devicePath).toLower();
    const QByteArray digest = QCryptographicHash::hash(key, QCryptographicHash::Sha256).toHex();
    return folder + QStringLiteral("/rivet-device-") + QString::fromLatin1(digest.left(24)) +
           QStringLiteral(".lock");
}

bool DeviceLock::tryAcquire()
{
    if (held())
        return true;
#ifdef _WIN32
    handle = openExclusive(file);
#else
    const int fd = openLockFile(file);
    if (fd < 0)
        return false;
    struct flock lock = wholeFile(F_WRLCK);
    if (fcntl(fd, F_OFD_SETLK, &lock) != 0) {
        ::close(fd);
        return false;
    }
    handle = fd;
#endif
    return held();
}

void DeviceLock::release()
{
    if (!held())
        return;
#ifdef _WIN32
    closeHandle(handle);
#else
    ::close(int(handle));
#endif
    handle = NoHandle;
}

bool DeviceLock::heldElsewhere() const
{
    if (held())
        return false;
#ifdef _WIN32
    const std::intptr_t probe = openExclusive(file);
    if (probe == -1)
        return GetLastError() == ERROR_SHARING_VIOLATION;
    closeHandle(probe);
    return false;
#else
    const int fd = openLockFile(file);
    if (fd < 0)
        return false;
    struct flock lock = wholeFile(F_WRLCK);
    const bool other = fcntl(fd, F_OFD_GETLK, &lock) == 0 && lock.l_type != F_UNLCK;
    ::close(fd);
    return other;
#endif
}

} // namespace flash
