// Text encodings: input files are UTF-8 (with or without BOM) or UTF-16 with
// a BOM; the package stores UTF-16LE with a BOM.
#pragma once

#include <string>

#include "Bytes.h"
#include "CheckedInput.h"

// Decodes `raw` by its byte order mark (UTF-16LE, UTF-16BE, UTF-8) or, without
// one, as UTF-8. False, with a reason, for text that is not valid.
bool DecodeText(const Bytes& raw, std::u16string& text, std::string& error);
// A text file read and decoded; errors begin with its path.
bool ReadTextFile(const std::string& path, std::u16string& text, std::string& error);
// The same for an input that must still be the file `seen` (CheckedInput.h).
bool ReadTextFile(const std::string& path, const FileSeen& seen, std::u16string& text, std::string& error);
bool DecodeUtf8(const std::string& utf8, std::u16string& text);
std::string ToUtf8(const std::u16string& text);
// FF FE and the text as UTF-16LE.
Bytes EncodeUtf16LeWithBom(const std::u16string& text);
// UTF-16LE bytes (after any BOM) as text; an odd last byte is dropped.
std::u16string Utf16LeToString(const uint8_t* data, size_t size);
