#pragma once

class QString;
class QUrl;
class QWidget;

namespace Vantorel {

// Opens a web page or a mailto: address with the desktop's program for it. When no program
// could open it (the platform refused, or xdg-open found none), an alert over `parent`'s window
// says so and shows the link as selectable text, so that it can be copied.
void openLink(const QUrl &url, QWidget *parent);

// The program that opens web and mail links in a desktop session: xdg-open unless a test sets
// another (a program that fails, say); an empty name sends every link through QDesktopServices.
void setLinkLauncherForTesting(const QString &program);

}  // namespace Vantorel
