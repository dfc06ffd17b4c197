#include "archive/ZipNames.h"

namespace {

const char16_t RESERVED[] = u"<>:\"\\|?*";

// Names that open a device rather than a file, whatever extension follows;
// Windows takes the superscript digits one to three for device numbers too.
const char16_t* const DEVICE_NAMES[] = {
    u"CON",  u"PRN",  u"AUX",  u"NUL",  u"COM1", u"COM2", u"COM3", u"COM4", u"COM5",    u"COM6",
    u"COM7", u"COM8", u"COM9", u"LPT1", u"LPT2", u"LPT3", u"LPT4", u"LPT5", u"LPT6",    u"LPT7",
    u"LPT8", u"LPT9", u"CONIN$", u"CONOUT$", u"COM\u00B9", u"COM\u00B2", u"COM\u00B3", u"LPT\u00B9",
    u"LPT\u00B2", u"LPT\u00B3",
};

char16_t AsciiUpper(char16_t unit)
{
    return unit >= u'a' && unit <= u'z' ? static_cast<char16_t>(unit - u'a' + u'A') : unit;
}

// The part before its first dot, blanks before that dot dropped, is what
// Windows compares with the device names.
bool IsDeviceName(const char16_t* part, size_t length)
{
    size_t stem = 0;
    while (stem < length && part[stem] != u'.')
        ++stem;
    while (stem > 0 && part[stem - 1] == u' ')
        --stem;
    for (const char16_t* device : DEVICE_NAMES) {
        size_t i = 0;
        while (i < stem && device[i] && AsciiUpper(part[i]) == device[i])
            ++i;
        if (i == stem && !device[i])
            return true;
    }
    return false;
}

NameProblem CheckPart(const char16_t* part, size_t length)
{
    if (length == 0)
        return NameProblem::Path;
    size_t other = 0;
    while (other < length && (part[other] == u'.' || part[other] == u' '))
        ++other;
    if (other == length)
        return NameProblem::Path;
    if (IsDeviceName(part, length))
        return NameProblem::Device;
    if (part[length - 1] == u'.' || part[length - 1] == u' ')
        return NameProblem::Trailing;
    return NameProblem::None;
}

} // namespace

bool DecodeUtf8Name(const uint8_t* bytes, size_t length, char16_t* out, size_t capacity, size_t* units)
{
    size_t count = 0;
    for (size_t at = 0; at < length;) {
        uint8_t lead = bytes[at];
        uint32_t code;
        size_t extra;
        uint32_t least;
        if (lead < 0x80) {
            code = lead;
            extra = 0;
            least = 0;
        } else if ((lead & 0xE0) == 0xC0) {
            code = lead & 0x1F;
            extra = 1;
            least = 0x80;
        } else if ((lead & 0xF0) == 0xE0) {
            code = lead & 0x0F;
            extra = 2;
            least = 0x800;
        } else if ((lead & 0xF8) == 0xF0) {
            code = lead & 0x07;
            extra = 3;
            least = 0x10000;
        } else {
            return false;
        }
        if (length - at - 1 < extra)
            return false;
        for (size_t i = 1; i <= extra; ++i) {
            uint8_t next = bytes[at + i];
            if ((next & 0xC0) != 0x80)
                return false;
            code = (code << 6) | (next & 0x3F);
        }
        if (code < least || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF))
            return false;
        at += 1 + extra;
        size_t need = code >= 0x10000 ? 2 : 1;
        if (capacity - count < need)
            return false;
        if (need == 2) {
            code -= 0x10000;
            out[count++] = static_cast<char16_t>(0xD800 + (code >> 10));
            out[count++] = static_cast<char16_t>(0xDC00 + (code & 0x3FF));
        } else {
            out[count++] = static_cast<char16_t>(code);
        }
    }
    *units = count;
    return true;
}

NameProblem DecodeEntryName(const uint8_t* bytes, size_t length, uint16_t flags, char16_t* out, size_t* units)
{
    *units = 0;
    out[0] = 0;
    // Too long whatever it holds.
    if (length > MAX_ENTRY_NAME_BYTES)
        return NameProblem::Length;
    for (size_t i = 0; i < length; ++i)
        if (bytes[i] == 0)
            return NameProblem::Encoding;
    size_t count = 0;
    bool decoded = (flags & 0x0800) ? DecodeUtf8Name(bytes, length, out, ENTRY_NAME_CAPACITY - 1, &count)
                                    : DecodeAnsiName(bytes, length, out, ENTRY_NAME_CAPACITY - 1, &count);
    if (!decoded)
        return NameProblem::Encoding;
    out[count] = 0;
    *units = count;
    return NameProblem::None;
}

size_t EntryFolderUnits(const char16_t* name, size_t units)
{
    if (IsFolderEntryName(name, units))
        return units - 1;
    size_t folder = units;
    while (folder > 0 && name[folder - 1] != u'/')
        --folder;
    return folder ? folder - 1 : 0;
}

NameProblem CheckEntryName(const char16_t* name, size_t units)
{
    if (units == 0 || name[0] == u'/')
        return NameProblem::Path;
    for (size_t i = 0; i < units; ++i) {
        if (name[i] < 0x20)
            return NameProblem::Character;
        for (const char16_t* reserved = RESERVED; *reserved; ++reserved)
            if (name[i] == *reserved)
                return NameProblem::Character;
    }
    // A folder entry's own slash ends its last part.
    size_t end = IsFolderEntryName(name, units) ? units - 1 : units;
    for (size_t start = 0;;) {
        size_t stop = start;
        while (stop < end && name[stop] != u'/')
            ++stop;
        NameProblem problem = CheckPart(name + start, stop - start);
        if (problem != NameProblem::None)
            return problem;
        if (stop >= end)
            break;
        start = stop + 1;
    }
    if (units > MAX_ENTRY_NAME)
        return NameProblem::Length;
    if (EntryFolderUnits(name, units) > MAX_ENTRY_FOLDER)
        return NameProblem::Folder;
    return NameProblem::None;
}
