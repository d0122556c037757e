#include "minisigntool.h"

#include <QFile>
#include <QProcess>

namespace {

bool runMinisign(const QStringList &arguments)
{
    QProcess minisign;
    minisign.start(QStringLiteral("minisign"), arguments);
    minisign.closeWriteChannel();
    return minisign.waitForFinished(20000) && minisign.exitStatus() == QProcess::NormalExit &&
           minisign.exitCode() == 0;
}

} // namespace

std::optional<MinisignKey> makeMinisignKey(const QString &folder, const QString &name)
{
    MinisignKey key{folder + '/' + name + ".pub", folder + '/' + name + ".key", {}};
    if (!runMinisign({"-G", "-W", "-p", key.publicFile, "-s", key.secretFile}))
        return std::nullopt;
    QFile file(key.publicFile);
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    file.readLine(); // the untrusted comment
    key.publicLine = file.readLine().trimmed();
    return key;
}

bool minisignSign(const MinisignKey &key, const QString &file, const QString &trustedComment,
                  bool legacy, const QString &signatureFile)
{
    QStringList arguments{
        "-S",           "-s", key.secretFile,
        "-m",           file, "-t",
        trustedComment, "-x", signatureFile.isEmpty() ? file + ".minisig" : signatureFile};
    if (legacy)
        arguments << "-l";
    return runMinisign(arguments);
}
