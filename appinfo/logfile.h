#pragma once
// The window programs' log in a file as well: a Windows GUI program has no console,
// and on Linux one started from the desktop writes its stderr where nobody looks. The
// file is what a user sends to support when something fails.

#include <QFile>
#include <QMutex>
#include <QString>

namespace appinfo {

// Enough for days of FTP dialogues and device arrivals, small enough to mail.
constexpr qint64 LogFileLimit = 1024 * 1024;

// <per-user data folder>/<program>/<program>.log: %LOCALAPPDATA%\updater\updater.log on
// Windows, ~/.local/share/updater/updater.log on Linux. Needs the application object.
QString logFilePath();

// While it exists, every Qt message is also appended to the file, a line each with the
// time in front, from any thread; where messages went before (stderr on a terminal)
// they still go. Before the file would grow past `limit` bytes it becomes `path`.1
// (replacing the one before) and a new one starts. A file that cannot be written is
// left out. One at a time.
class LogFile
{
public:
    explicit LogFile(const QString &path = logFilePath(), qint64 limit = LogFileLimit);
    ~LogFile();
    LogFile(const LogFile &) = delete;
    LogFile &operator=(const LogFile &) = delete;

private:
    static void handle(QtMsgType type, const QMessageLogContext &context, const QString &message);
    void append(QByteArray line);

    QMutex mutex;
    QFile file;
    const qint64 limit;
    QtMessageHandler previous = nullptr;
};

} // namespace appinfo
