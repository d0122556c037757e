#pragma once
// fwtool's command line: `fwtool <command> [options]`, one QCommandLineParser for the
// tool's own options and one per command. Every option is checked, numbers included,
// before a command reads or writes any file.

#include <QStringList>
#include <QTextStream>

namespace fwtool {

// `arguments` as QCoreApplication::arguments() gives them; returns the exit code.
int run(const QStringList &arguments, QTextStream &out, QTextStream &err);

} // namespace fwtool
