#include "UninstallSlots.h"

#include <algorithm>

#include "package/UninstallList.h"

bool ForEachUninstallSlot(const CByteSource& file, const ReadRecord& list,
                          const std::function<void(size_t index, const std::u16string& text)>& show)
{
    const size_t SLOTS_AT_ONCE = 2048; // a megabyte
    CArchiveBytes bytes = RecordBytes(file, list);
    size_t slots = list.size / UNINSTALL_SLOT_BYTES;
    Bytes window;
    char16_t slot[UNINSTALL_SLOT_CHARS];
    std::u16string text;
    for (size_t first = 0; first < slots; first += SLOTS_AT_ONCE) {
        size_t count = std::min(SLOTS_AT_ONCE, slots - first);
        const uint8_t* data =
            bytes.Read(uint64_t(first) * UNINSTALL_SLOT_BYTES, count * UNINSTALL_SLOT_BYTES, window);
        if (!data)
            return false;
        CUninstallList piece(data, count * UNINSTALL_SLOT_BYTES);
        for (size_t i = 0; i < count; ++i) {
            text.assign(slot, piece.ReadSlot(i, slot));
            show(first + i, text);
        }
    }
    return true;
}
