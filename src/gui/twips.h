#pragma once
#include <cmath>

namespace lumera::gui {

// The models measure in twips; at scale 1 the screen shows 15 twips a pixel.
inline int twipsToPixels(int twips) { return static_cast<int>(std::lround(twips / 15.0)); }

// A position in twips at the given scale. Edges, not sizes, are rounded, so
// controls that touch in the model touch on the screen, without gaps or overlaps.
inline int scaledTwips(int twips, double scale) { return static_cast<int>(std::lround(twips / 15.0 * scale)); }

// The model's font sizes are points at 96 dots an inch, the density its
// twips were laid out for: this many pixels per point at scale 1.
constexpr double kPixelsPerPoint = 96.0 / 72.0;

}  // namespace lumera::gui
