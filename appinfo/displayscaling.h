#pragma once
// Display scaling for the window programs. Without it, at 150 % a window keeps its
// 100 % size while fonts given in points grow inside it and get cut off.

namespace appinfo {

// Called before the application object: windows, fonts, pictures and the painted
// gauges follow the display's factor together, fractional ones (125 %, 150 %) as
// they are, not rounded to whole pixels per point.
void enableDisplayScaling();

} // namespace appinfo
