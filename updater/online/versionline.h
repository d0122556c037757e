#pragma once
// The version file's first line: reading it, trusting it, comparing it.

#include <QString>
#include <QStringList>

// Appends the lines of a text file (line ends removed, nothing else trimmed); -1 when the
// file cannot be opened.
int ReadTextLines(const QString &path, QStringList &lines);

// Only a plain decimal number is taken from the server: the line becomes part of a local
// path and of the image's server path.
bool IsPlainVersion(const QString &line);

// True when the server offers a newer version. Compared as text, as the server has always
// been read: for four digits on both sides this is numeric order.
bool ServerHasNewer(const QString &deviceVersionText, const QString &serverLine);

// "<model>/<version>.bin"
QString ImageServerPath(const QString &model, const QString &version);
