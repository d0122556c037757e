#pragma once
// fwtool's commands, once the command line has been checked: every option is known
// to be present and in range before any of these touches a file.

#include <hidlink/deviceids.h>

#include <QString>
#include <QTextStream>
#include <optional>

namespace fwtool {

enum Exit
{
    ExitOk = 0,
    ExitFile = 1,      // a file could not be read or written
    ExitUsage = 2,     // the command line is wrong
    ExitRefused = 2,   // not a firmware image, or one the device would refuse
    ExitSignature = 3, // a signature invalid or missing where one is needed
};

struct Streams
{
    QTextStream &out;
    QTextStream &err;
};

// Writes "fwtool: <text>" to the error stream and returns `code`.
int fail(Streams &io, const QString &text, int code);

struct PackRequest
{
    qint32 version = 0;
    QString dsp;
    QString arm;
    QString out;
    char fill = char(0xFF);
};
int pack(const PackRequest &request, Streams &io);

struct InfoRequest
{
    QString path;
    std::optional<quint16> deviceVersion; // without it only the file's form is judged
    int productId = deviceids::ProductId;
    bool json = false;
    QByteArray key; // the signing key; empty: signatures are not checked
};
int info(const InfoRequest &request, Streams &io);

} // namespace fwtool
