#pragma once
#include <cmath>

namespace lumera::gui {

// The models measure in twips; the screen is drawn at 96 dots an inch.
inline int twipsToPixels(int twips) { return static_cast<int>(std::lround(twips / 15.0)); }

}  // namespace lumera::gui
