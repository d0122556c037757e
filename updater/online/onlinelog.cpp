#include <updater/online/onlinelog.h>

Q_LOGGING_CATEGORY(lcFtp, "rivet.ftp")
Q_LOGGING_CATEGORY(lcFtpData, "rivet.ftp.data", QtInfoMsg)
