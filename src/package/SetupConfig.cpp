// The setup configuration: key=value lines of UTF-16LE text in the signed
// configuration record. There is no parsed form; every lookup verifies,
// unpacks and scans the text afresh, then wipes it.
#include <cwchar>

#include "base/KeyText.h"
#include "package/Container.h"

namespace {

const uint8_t BYTE_ORDER_MARK[2] = {0xFF, 0xFE};
// The mark and one character.
const size_t CONFIG_MIN_BYTES = 4;

// Removes one pair of enclosing double quotes; the closing one only when the
// value began with one.
void StripQuotes(CStr& value)
{
    if (value.IsEmpty() || value.GetAt(0) != L'"')
        return;
    value.Delete(0, 1);
    if (!value.IsEmpty() && value.GetAt(value.GetLength() - 1) == L'"')
        value.Truncate(value.GetLength() - 1);
}

bool IsLineBreak(wchar_t ch)
{
    return ch == L'\r' || ch == L'\n';
}

} // namespace

bool CDCContainer::GetConfigValue(const wchar_t* key, CStr& out) const
{
    if (!key)
        return false;
    const uint8_t* data = nullptr;
    uint32_t size = 0;
    if (!FindRecord(RECORD_CONFIG, &data, &size) || size < 2)
        return false;
    CSecureBuffer content;
    if (!UnpackSigned(RECORD_CONFIG_SIGNATURE, data, size, content))
        return false;
    // UTF-16 with its mark and at least one character; an odd byte count is
    // not UTF-16.
    if (content.Size() < CONFIG_MIN_BYTES || content.Size() % 2 != 0 ||
        content.Data()[0] != BYTE_ORDER_MARK[0] || content.Data()[1] != BYTE_ORDER_MARK[1])
        return false;

    wchar_t* text = reinterpret_cast<wchar_t*>(content.Data()) + 1;
    size_t count = content.Size() / 2 - 1;
    // The last unit always becomes the terminator: a text without a final line
    // break loses its last character.
    text[count - 1] = 0;

    // Lines split in place at every run of CR and LF.
    wchar_t* line = text;
    while (*line) {
        while (IsLineBreak(*line))
            ++line;
        if (!*line)
            break;
        wchar_t* end = line;
        while (*end && !IsLineBreak(*end))
            ++end;
        bool last = *end == 0;
        *end = 0;

        out.Assign(static_cast<const wchar_t*>(nullptr));
        if (GetKeyValue(line, key, out.GetBuffer(), out.GetCapacity(), L"\n") > 0) {
            out.UpdateLength();
            StripQuotes(out);
            return true;
        }
        if (last)
            break;
        line = end + 1;
    }
    return false;
}
