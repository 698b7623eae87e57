#pragma once

namespace Glimmerwick {

// The widget as a desktop program: one per user (a later start brings the running one forward and
// returns 0), shown in its own window until the user closes it or the session ends. Returns the
// program's exit code; background work (a download) may still be running.
int runOnDesktop();

}  // namespace Glimmerwick
