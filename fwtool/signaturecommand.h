#pragma once
// fwtool and firmware signatures: `fwtool verify`, the key options of info and flash,
// and the refusal flash applies before it looks for a device.

#include <fwtool/commands.h>

#include <QByteArray>
#include <QCommandLineParser>
#include <optional>

namespace fwtool {

// "--key KEYFILE": a minisign public key file (or its key line alone).
void addKeyOption(QCommandLineParser &parser);
// The key of --key, else the build's (empty when it has none); nothing, after saying
// why on the error stream, when the key file cannot be read or holds no key.
std::optional<QByteArray> chosenKey(const QCommandLineParser &parser, QTextStream &err);

void defineVerify(QCommandLineParser &parser);
int runVerify(const QCommandLineParser &parser, Streams &io);

// Why flash must not write the file at `path`, or an empty text: with a key an invalid
// signature is refused, and with `required` a file without a valid one. Without either
// nothing is read (a file that cannot be read is flash's own refusal).
QString flashRefusal(const QString &path, const QByteArray &key, bool required);

} // namespace fwtool
