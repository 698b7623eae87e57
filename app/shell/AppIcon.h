#pragma once

#include <QIcon>
#include <QImage>

namespace Vantorel {

// The program's icon (a star in a speech bubble): the theme's "vantorel" when the desktop has it
// as a usable image, else drawn here, so it shows without an installed theme.
QIcon applicationIcon();
// The drawing behind the fall-back, `size` pixels square.
QImage drawApplicationIcon(int size);

}  // namespace Vantorel
