#pragma once
#include <QPixmap>
#include <QSize>
#include <string>

namespace lumera::gui {

// The program's pictures are drawn, not loaded: a key names the drawing.
// size is in logical pixels; the drawing has devicePixelRatio times as many,
// so it stays sharp on a high-density screen.
QPixmap drawPicture(const std::string& key, QSize size, qreal devicePixelRatio = 1);

}  // namespace lumera::gui
