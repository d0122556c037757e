#pragma once
// `fwtool list`: every matching device, its firmware version and whether another
// program is updating it.

#include <QCommandLineParser>
#include <QTextStream>

namespace fwtool {

void defineList(QCommandLineParser &parser);
// Needs a QCoreApplication; returns the exit code (0, or 4 when no device is present).
int runList(const QCommandLineParser &parser, QTextStream &out, QTextStream &err);

} // namespace fwtool
