#pragma once

namespace Vantorel {

class VantorelApp;

// For the start-up benchmark: with VANTOREL_STARTUP_PROBE set, prints one line once the main
// window's first frame with the loaded sidebar is painted,
//   startup-probe: first-filled-frame rss_kb=<resident memory in kB>
// and quits. Does nothing otherwise.
void installStartupProbe(VantorelApp &app);

}  // namespace Vantorel
