// How large an installer may grow and how many files each edition installs.
// kxpack refuses to build what the setup program could not install; no
// Windows headers, as both programs compile it.
#pragma once

#include <cstdint>

#include "package/UninstallList.h"

// Windows does not start a program file of 4 GiB or more.
const uint64_t MAX_INSTALLER_BYTES = 0xFFFFFFFFull;

// A record's size is a 32-bit field: an archive holds up to 4 GiB - 1.
const uint64_t MAX_RECORD_BYTES = 0xFFFFFFFFull;

// Slots of the uninstall list that are not program files: the group, the
// folder, up to 63 group shortcuts, the desktop shortcut and the
// uninstaller's own.
const uint64_t UNINSTALL_OTHER_SLOTS = 2 + 63 + 1 + 1;

// Room in Uninstall.exe for what is not the list: the image and the licence
// container. The uninstaller is a program file too, and must stay under
// 4 GiB with its list.
const uint64_t UNINSTALLER_OTHER_BYTES = 64ull * 1024 * 1024;

// The installation keeps the list of files it created in memory, 520 bytes
// a file, and the uninstaller reads the whole list: the 32-bit edition,
// with 2 GB of address space, is held to 1,000,000 files (520 MB). The
// 64-bit edition is held only by the size of Uninstall.exe.
const uint64_t MAX_FILES_32BIT = 1000000;
const uint64_t MAX_FILES_64BIT =
    (MAX_INSTALLER_BYTES - UNINSTALLER_OTHER_BYTES) / UNINSTALL_SLOT_BYTES - UNINSTALL_OTHER_SLOTS;
