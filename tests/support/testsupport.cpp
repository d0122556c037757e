#include "testsupport.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QtEndian>

int threadsInProcess()
{
    const QDir tasks(QStringLiteral("/proc/self/task"));
    return tasks.exists() ? tasks.entryList(QDir::Dirs | QDir::NoDotAndDotDot).size() : -1;
}

QByteArray readFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<none>");
}

bool writeFile(const QString &path, const QByteArray &content)
{
    QDir().mkpath(QFileInfo(path).path());
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(content) == content.size();
}

QByteArray firmwareBytes(quint32 dspLength, qint32 version, quint32 armLength, int extra)
{
    QByteArray data(16, '\0');
    qToBigEndian(dspLength, data.data());
    qToBigEndian(quint32(version), data.data() + 4);
    qToBigEndian(armLength, data.data() + 8);
    for (quint32 i = 0; i < dspLength + armLength; ++i)
        data.append(char((i * 7 + 3) & 0xFF));
    if (extra > 0)
        data.append(QByteArray(extra, '\x5A'));
    else if (extra < 0)
        data.chop(-extra);
    return data;
}
