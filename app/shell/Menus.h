#pragma once

class QMenuBar;
class QWidget;

namespace Vantorel {

class VantorelApp;

// The main window's menus: the application menu, File, View and Help. Every action has an
// object name, so that tests and the status item can find it.
QMenuBar *makeMenuBar(VantorelApp &app, QWidget *parent);

}  // namespace Vantorel
