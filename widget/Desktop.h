#pragma once

namespace Glimmerwick {

// Shows the widget in its desktop window until it is closed or the session ends, and returns the
// program's exit code. The store must already be open.
int runOnDesktop();

}  // namespace Glimmerwick
