// The uninstall list, record 6 of the uninstall container: slots of 260
// UTF-16 units, each one path with zeros behind it. Slot 0 is the program
// group's name, slot 1 the installation folder, and every slot after them
// a file the installation created, in the order it was created. A slot
// that holds no zero is read as its first 259 units, as one that was cut.
//
// The one reader and the one writer of the list: the uninstaller, the check
// for a running program and kxpack inspect read it with CUninstallList; the
// installation writes it slot by slot with FormatUninstallSlot. No Windows
// headers: kxpack compiles it too.
#pragma once

#include <cstddef>
#include <cstdint>

#include "package/PackageFormat.h"

enum : size_t {
    UNINSTALL_GROUP_SLOT = 0,
    UNINSTALL_FOLDER_SLOT = 1,
    UNINSTALL_FIRST_FILE_SLOT = 2,
};

// The most slots a record can hold: its size is a 32-bit field.
const size_t UNINSTALL_MAX_SLOTS = 0xFFFFFFFFu / UNINSTALL_SLOT_BYTES;

class CUninstallList {
public:
    // Reads the list in `data` (`size` bytes); the data must outlive the
    // reader. A remainder of less than a slot is not read.
    CUninstallList(const uint8_t* data, size_t size) : m_pData(data), m_nSize(data ? size : 0) {}

    size_t GetSlotCount() const { return m_nSize / UNINSTALL_SLOT_BYTES; }
    // The slots past the group and the folder.
    size_t GetFileCount() const;
    // Whether the record ends in a part of a slot.
    bool HasRemainder() const { return m_nSize % UNINSTALL_SLOT_BYTES != 0; }

    // Slot `index` into `out` (UNINSTALL_SLOT_CHARS units, terminated);
    // returns its length in units. Past the last slot `out` is empty and
    // the result 0.
    size_t ReadSlot(size_t index, char16_t* out) const;

private:
    const uint8_t* m_pData;
    size_t m_nSize;
};

// One slot as stored: `text` up to its first zero, cut at 259 units, and
// zeros to the end of the slot.
void FormatUninstallSlot(const char16_t* text, uint8_t slot[UNINSTALL_SLOT_BYTES]);

// The bytes of a list with `files` file slots; false when they would not
// fit a record.
bool GetUninstallListBytes(size_t files, uint32_t* bytes);
