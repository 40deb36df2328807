// Draws the calculator's face: the skin "HP49.BMP" that the program reads.
// No artwork ships with the project; this picture is made from the key
// table, so every key is drawn exactly where the program looks for it.
#pragma once

#include <QColor>
#include <QIcon>
#include <QImage>

namespace pelrin {

// 347 by 751 pixels: the face in the top 347 by 740, the six annunciator
// sprites (16 by 11 each) side by side from (0, 740).
QImage DrawSkin();

// The colour of the display's surround, on which the annunciators sit.
QColor BezelColour();
// The colour of the empty LCD window.
QColor LcdColour();

// The program's icon: a small calculator face, the display above and the
// coloured shift and alpha keys beside the light number keys, size by size
// square with a clear background.
QImage DrawIcon(int size);
// The icon at the usual sizes, 16 to 256 pixels.
QIcon PelrinIcon();

} // namespace pelrin
