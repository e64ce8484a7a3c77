#pragma once
#include <QPixmap>
#include <QSize>
#include <string>

namespace lumera::gui {

// The program's pictures are drawn, not loaded: a key names the drawing.
QPixmap drawPicture(const std::string& key, QSize size);

}  // namespace lumera::gui
