#pragma once
// Collects what the process writes to its standard error stream while it lives
// (libcurl's trace and our "curl told us" line go there).

#include <QByteArray>
#include <QTemporaryFile>

class StderrCapture
{
public:
    StderrCapture();
    ~StderrCapture();
    // Ends the capture and returns what was written.
    QByteArray finish();

private:
    QTemporaryFile file;
    int saved = -1;
};
