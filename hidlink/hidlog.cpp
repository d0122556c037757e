#include <hidlink/hidlog.h>

Q_LOGGING_CATEGORY(lcHid, "rivet.hid")
// Info and above only by default: a thousand reports a second would flood the terminal.
Q_LOGGING_CATEGORY(lcReports, "rivet.reports", QtInfoMsg)
