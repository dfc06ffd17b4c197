// An uninstaller's list read with the uninstaller's own reader, a piece of
// the record at a time: the list may hold millions of slots (or be a hole of
// a sparse file that claims as many), and is never held whole.
#pragma once

#include <functional>
#include <string>

#include "ByteSource.h"
#include "PackageFile.h"

// Calls `show` with each slot's index and text, as the uninstaller reads it
// (a slot without a zero as its first 259 units). False when a piece of the
// record cannot be read; the slots before it have been shown.
bool ForEachUninstallSlot(const CByteSource& file, const ReadRecord& list,
                          const std::function<void(size_t index, const std::u16string& text)>& show);
