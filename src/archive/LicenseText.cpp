// The licence agreement for a locale, from the signed licence-texts archive.
#include <cwchar>

#include "archive/ZipFile.h"
#include "base/Str.h"
#include "package/Container.h"

namespace {

const uint32_t MAX_TEXT_BYTES = 0x7FFFFFF0;

// The first entry whose name begins with `prefix`, whatever follows;
// its bytes and three zero bytes into `text`.
bool ReadMatchingEntry(CZipFile& zip, const wchar_t* prefix, CSecureBuffer& text)
{
    size_t prefixLength = wcslen(prefix);
    do {
        ZipEntryInfo info;
        wchar_t name[MAX_PATH];
        if (!zip.GetEntryInfo(&info, name, MAX_PATH) || wcsncmp(name, prefix, prefixLength) != 0)
            continue;
        uint32_t size = info.uncompressedSize;
        if (!zip.OpenEntry() || size == 0 || size > MAX_TEXT_BYTES || !text.Allocate(size + 3))
            return false;
        if (zip.ReadEntry(text.Data(), size) != size) {
            text.Free();
            return false;
        }
        text.Data()[size] = 0;
        text.Data()[size + 1] = 0;
        text.Data()[size + 2] = 0;
        zip.CloseEntry();
        return true;
    } while (zip.GoToNextEntry());
    return false;
}

} // namespace

bool CDCContainer::LoadLicenseText(LCID locale, CSecureBuffer& text) const
{
    text.Free();
    const uint8_t* data = nullptr;
    uint32_t size = 0;
    CSecureBuffer archive;
    if (!FindRecord(RECORD_LICENSES, &data, &size) ||
        !UnpackSigned(RECORD_LICENSES_SIGNATURE, data, size, archive))
        return false;
    bool found = false;
    {
        // Read where it was verified: no copy on disk, where it could be
        // swapped after the check (or clobber a user's file of that name).
        CZipFile zip;
        TStrStatic<16> prefix;
        prefix.Format(L"%d-", static_cast<int>(locale));
        found = archive.Size() <= 0xFFFFFFFFu &&
                zip.OpenArchive(archive.Data(), static_cast<uint32_t>(archive.Size())) && zip.GoToFirstEntry() &&
                ReadMatchingEntry(zip, prefix, text);
    }
    if (!found)
        text.Free();
    return found;
}
