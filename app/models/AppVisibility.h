#pragma once

#include "Fennick/Records/StoreApp.h"

namespace Vantorel {

class MainViewModel;

// The sidebar's "Hide App" (true) and "Unhide App" (false): writes the app row's hidden flag
// through the view context and, once saved, reloads the sidebar. A failed save is reported
// ("HideApp" / "UnhideApp") and logged; the flag then stays unsaved in the view context, to be
// written by its next save, and the sidebar is not reloaded. False after a failure.
bool setAppHidden(MainViewModel &model, const Fennick::StoreApp &app, bool hidden);

}  // namespace Vantorel
