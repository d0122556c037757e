#pragma once
// Logging of the online update. "rivet.ftp" carries the FTP dialogue (commands, replies,
// libcurl's account of the connection) and is on by default; "rivet.ftp.data" carries
// the per-chunk lines of a transfer and is off unless asked for
// (QT_LOGGING_RULES="rivet.ftp.data.debug=true").

#include <QLoggingCategory>

Q_DECLARE_LOGGING_CATEGORY(lcFtp)
Q_DECLARE_LOGGING_CATEGORY(lcFtpData)
