#pragma once
// Logging categories of the device link, shared by both programs. Link events
// (arrival, removal) are on; the traffic, a line for every report read and every
// report written, is off unless asked for:
//   QT_LOGGING_RULES="rivet.reports.debug=true"

#include <QLoggingCategory>

Q_DECLARE_LOGGING_CATEGORY(lcHid)
Q_DECLARE_LOGGING_CATEGORY(lcReports)
