#pragma once

namespace platform {

// Turns SIGTERM, SIGINT and SIGHUP into an ordinary QCoreApplication::quit() on the main thread,
// so that the program's end-of-run work (aboutToQuit) also runs when the session or a terminal
// ends it. Call once, after the application object exists.
void quitOnTerminationSignals();

}  // namespace platform
