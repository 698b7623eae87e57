#pragma once

#include <QColor>
#include <QIcon>
#include <QString>

namespace Vantorel {

// The symbols the settings window shows. Each comes from the freedesktop icon theme when the
// theme has it, else it is drawn here, so the window looks right without any theme.
enum class SettingsSymbol { gear, person, plusCircle, minusCircle, checkmarkCircleFill, arrowBackwardCircleFill };

// The design's name of a symbol ("gear", "plus.circle", ...), for tests and accessibility.
QString settingsSymbolName(SettingsSymbol symbol);

// Themed where a theme icon exists; `color` paints the drawn fall-back.
QIcon settingsSymbolIcon(SettingsSymbol symbol, const QColor &color);

// Always the drawn picture, in `color` (for symbols whose colour carries meaning).
QIcon drawnSettingsSymbol(SettingsSymbol symbol, const QColor &color);

}  // namespace Vantorel
