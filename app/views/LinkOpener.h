#pragma once

#include <chrono>

class QString;
class QUrl;
class QWidget;

namespace Vantorel {

// How long a launcher may take to say that it found no program for a link. Without a desktop
// session xdg-open runs the browser itself and ends with it, so a launcher still running after
// this has started a program: success, whatever its status later.
inline constexpr std::chrono::milliseconds linkLauncherGraceTime{2000};

// Opens a web page or a mailto: address with the desktop's program for it. When no program
// could open it (the platform refused, or xdg-open could not start, or failed within the grace
// time), an alert over `parent`'s window says so and shows the link as selectable text, so that
// it can be copied.
void openLink(const QUrl &url, QWidget *parent);

// The program that opens web and mail links in a desktop session: xdg-open unless a test sets
// another (a program that fails, say); an empty name sends every link through QDesktopServices.
// A test may shorten the grace time too.
void setLinkLauncherForTesting(const QString &program,
                               std::chrono::milliseconds graceTime = linkLauncherGraceTime);

}  // namespace Vantorel
