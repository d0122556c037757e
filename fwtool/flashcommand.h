#pragma once
// `fwtool flash FILE.fw`: the updater's firmware update from a terminal or a script,
// on the updater's own checks and protocol.

#include <QCommandLineParser>
#include <QTextStream>

namespace fwtool {

// Adds the command's options and arguments to the parser of `fwtool flash ...`.
void defineFlash(QCommandLineParser &parser);
// Runs the update on a parsed command line and returns the exit code; a wrong
// command line gives 2 before anything is touched. Needs a QCoreApplication.
int runFlash(const QCommandLineParser &parser, QTextStream &out, QTextStream &err);

} // namespace fwtool
