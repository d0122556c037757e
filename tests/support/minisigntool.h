#pragma once
// The minisign tool as a vendor runs it: the tests' keys and signatures come from the
// reference implementation, never from the code under test.

#include <QString>
#include <optional>

// minisign is a program of the Linux host: the Windows tests under wine cannot start it,
// and skip what needs it.
#ifdef Q_OS_WIN
constexpr bool MinisignRuns = false;
#else
constexpr bool MinisignRuns = true;
#endif

struct MinisignKey
{
    QString publicFile; // minisign.pub form: comment line, key line
    QString secretFile; // unencrypted (-W)
    QByteArray publicLine;
};

// A new key pair `name`.pub / `name`.key in `folder`; nothing when minisign fails.
std::optional<MinisignKey> makeMinisignKey(const QString &folder, const QString &name);

// Signs `file` into `file`.minisig (or `signatureFile`); `legacy` for the pre-hash format.
bool minisignSign(const MinisignKey &key, const QString &file, const QString &trustedComment,
                  bool legacy = false, const QString &signatureFile = QString());
