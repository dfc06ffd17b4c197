// What the user chose on the settings page, handed to the installation as
// one value.
#pragma once

#include <windows.h>

#include "base/Str.h"

struct TInstallSettings {
    TStrStatic<MAX_PATH> folder; // the installation folder, cleaned
    TStrStatic<MAX_PATH> group;  // the Start-menu group's name, cleaned
    // Both on until the user unticks them.
    bool launchAfterInstall = true;
    bool createDesktopShortcut = true;
};
