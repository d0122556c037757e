#include <updater/online/versionline.h>

#include <QFile>
#include <QTextStream>

int ReadTextLines(const QString &path, QStringList &lines)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
        return -1;
    QTextStream stream(&file);
    while (!stream.atEnd())
        lines.append(stream.readLine());
    return 0;
}

bool IsPlainVersion(const QString &line)
{
    if (line.isEmpty() || line.size() > 10)
        return false;
    for (const QChar c : line) {
        if (c < QLatin1Char('0') || c > QLatin1Char('9'))
            return false;
    }
    return true;
}

bool ServerHasNewer(const QString &deviceVersionText, const QString &serverLine)
{
    return deviceVersionText < serverLine;
}

QString ImageServerPath(const QString &model, const QString &version)
{
    return QStringLiteral("%1/%2.bin").arg(model, version);
}
