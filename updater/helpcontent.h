#pragma once
// The help text for a product that has no help picture: the steps of an update, what
// each error number means, the ring's colours, the download folder and the traffic log.

#include <QString>

namespace helpcontent {

// Rich text in the user's language; `downloadFolder` is where online downloads are kept.
QString helpText(bool chinese, const QString &downloadFolder);

} // namespace helpcontent
