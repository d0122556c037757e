#include <appinfo/logfile.h>

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QMutexLocker>
#include <QStandardPaths>

namespace appinfo {

namespace {

LogFile *current = nullptr;

} // namespace

QString logFilePath()
{
    const QString program = QCoreApplication::applicationName();
    return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) + '/' + program +
           '/' + program + QStringLiteral(".log");
}

LogFile::LogFile(const QString &path, qint64 limit) : file(path), limit(limit)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    file.open(QIODevice::Append);
    current = this;
    previous = qInstallMessageHandler(handle);
}

LogFile::~LogFile()
{
    qInstallMessageHandler(previous);
    current = nullptr;
}

void LogFile::handle(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
    // Formatted as on stderr (the category in front), with the time.
    current->append(QDateTime::currentDateTime().toString(Qt::ISODateWithMs).toUtf8() + ' ' +
                    qFormatLogMessage(type, context, message).toUtf8() + '\n');
    current->previous(type, context, message);
}

void LogFile::append(QByteArray line)
{
    const QMutexLocker lock(&mutex);
    if (!file.isOpen())
        return;
    line.truncate(int(qMin<qint64>(line.size(), limit)));
    if (file.size() > 0 && file.size() + line.size() > limit) {
        // Closed first: Windows renames no open file.
        file.close();
        const QString kept = file.fileName() + QStringLiteral(".1");
        QFile::remove(kept);
        QFile::rename(file.fileName(), kept);
        // Emptied where the old one could not be moved aside: the bound holds anyway.
        if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
            return;
    }
    file.write(line);
    // On disk at once: the line before a crash is the one support needs.
    file.flush();
}

} // namespace appinfo
