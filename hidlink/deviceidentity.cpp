#include <hidlink/deviceidentity.h>

namespace deviceidentity {

QString idText(int id)
{
    return QStringLiteral("%1").arg(id, 4, 16, QLatin1Char('0'));
}

QString digitsAfter(const QString &path, const QString &key)
{
    const int at = path.indexOf(key, 0, Qt::CaseInsensitive);
    if (at < 0)
        return QString();
    return path.mid(at + 4, 4);
}

bool pathMatches(const QString &path, const QString &vendorText, const QString &productText)
{
    const QString vid = digitsAfter(path, QStringLiteral("VID"));
    const QString pid = digitsAfter(path, QStringLiteral("PID"));
    return !vid.isEmpty() && vid == vendorText && pid == productText;
}

} // namespace deviceidentity
