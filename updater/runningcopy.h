#pragma once
// A second start of the updater ends at once, but first brings the running copy's
// window to the front: a user who starts it again sees the window instead of nothing.

class QWidget;

namespace runningcopy {

// The first copy: brings `window` to the front whenever a later start asks.
void raiseOnRequest(QWidget *window);
// The second copy: asks the running one to show its window; false when none answered.
bool askToRaise();

} // namespace runningcopy
