#pragma once

#include "settings/Settings.h"

namespace kervo {

struct MonitorContext;

// Transitional adapter, not part of reading the settings: it belongs to the composition root
// and moves there once MonitorState and MonitorContext are gone. Kept in settings/ for now so
// that the tree builds. It reads nothing; it only copies a LoadedSettings that readSettings
// has already accepted onto the state and the window, so it cannot stop half-way.
//
// Every dial gets the dial picture and is hidden; dial i is then shown and captioned for
// servers[i]. The window gets the background picture.
void applySettings(MonitorContext& context, const LoadedSettings& loaded);

}  // namespace kervo
