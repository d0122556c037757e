#pragma once
// fwtool's commands, once the command line has been checked: every option is known
// to be present and in range before any of these touches a file.

#include <hidlink/deviceids.h>

#include <QString>
#include <QTextStream>
#include <optional>

namespace fwtool {

// One table for every command; `flash` adds its own outcomes (see exitCodeTable()).
enum Exit
{
    ExitOk = 0,
    ExitFile = 1,      // a file could not be read or written
    ExitUsage = 2,     // the command line is wrong
    ExitRefused = 3,   // not a firmware image, or one the device would refuse
    ExitSignature = 3, // a signature invalid or missing where one is needed: a refusal too
};

// Every exit code of every command, as the help texts print it.
QString exitCodeTable();

struct Streams
{
    QTextStream &out;
    QTextStream &err;
    bool json = false; // --json: every outcome, errors too, is one JSON object on `out`
};

// Writes "fwtool: <text>" to the error stream (and with --json an object
// {"outcome":"error","exitCode":code,"message":text} to standard output); returns `code`.
int fail(Streams &io, const QString &text, int code);
// That object alone.
void printJsonError(Streams &io, const QString &text, int code);

struct PackRequest
{
    qint32 version = 0;
    QString dsp;
    QString arm;
    QString out;
    char fill = char(0xFF);
    bool json = false;
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
