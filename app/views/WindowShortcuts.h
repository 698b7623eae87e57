#pragma once

class QWidget;

namespace Vantorel {

// Esc and the desktop's Close keys (QKeySequence::Close: Ctrl+W, Ctrl+F4) close `window` while
// it is the active window. A dialog or alert open over it takes its own keys first.
void addCloseShortcuts(QWidget &window);

}  // namespace Vantorel
