#include "package/UninstallList.h"

#include <cstring>

size_t CUninstallList::GetFileCount() const
{
    size_t slots = GetSlotCount();
    return slots > UNINSTALL_FIRST_FILE_SLOT ? slots - UNINSTALL_FIRST_FILE_SLOT : 0;
}

size_t CUninstallList::ReadSlot(size_t index, char16_t* out) const
{
    if (!out)
        return 0;
    out[0] = 0;
    if (index >= GetSlotCount())
        return 0;
    // Byte by byte: the record's data need not be aligned for char16_t.
    const uint8_t* slot = m_pData + index * UNINSTALL_SLOT_BYTES;
    size_t length = 0;
    while (length < UNINSTALL_SLOT_CHARS - 1) {
        char16_t unit = static_cast<char16_t>(slot[2 * length] | (slot[2 * length + 1] << 8));
        if (!unit)
            break;
        out[length++] = unit;
    }
    out[length] = 0;
    return length;
}

void FormatUninstallSlot(const char16_t* text, uint8_t slot[UNINSTALL_SLOT_BYTES])
{
    memset(slot, 0, UNINSTALL_SLOT_BYTES);
    for (size_t i = 0; text && i < UNINSTALL_SLOT_CHARS - 1 && text[i]; ++i) {
        slot[2 * i] = static_cast<uint8_t>(text[i] & 0xFF);
        slot[2 * i + 1] = static_cast<uint8_t>(text[i] >> 8);
    }
}

bool GetUninstallListBytes(size_t files, uint32_t* bytes)
{
    if (files > UNINSTALL_MAX_SLOTS - UNINSTALL_FIRST_FILE_SLOT)
        return false;
    if (bytes)
        *bytes = static_cast<uint32_t>((files + UNINSTALL_FIRST_FILE_SLOT) * UNINSTALL_SLOT_BYTES);
    return true;
}
