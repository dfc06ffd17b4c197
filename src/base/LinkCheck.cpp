#include "base/LinkCheck.h"

#include <cwchar>

#include "base/KeyText.h"

bool IsPathBelow(const wchar_t* path, const wchar_t* folder)
{
    if (!path || !folder)
        return false;
    size_t length = wcslen(folder);
    return length > 0 && _wcsnicmp(path, folder, length) == 0 && path[length] == L'\\' && path[length + 1];
}

bool GetParentFolder(const wchar_t* path, CStr& parent)
{
    parent.Assign(path);
    int slash = parent.ReverseFind(L'\\');
    if (slash <= 0) {
        parent.Assign(L"");
        return false;
    }
    parent.Truncate(static_cast<unsigned>(slash));
    return true;
}

bool IsFreeOfLinks(const wchar_t* path, const wchar_t* root)
{
    if (!IsPathBelow(path, root)) {
        SetLastError(ERROR_BAD_PATHNAME);
        return false;
    }
    TStrStatic<MAX_PATH> buffer;
    if (buffer.Format(L"%s", path) <= 0) {
        SetLastError(ERROR_FILENAME_EXCED_RANGE);
        return false;
    }
    wchar_t* text = buffer.GetBuffer();
    for (size_t end = wcslen(root) + 1;; ++end) {
        wchar_t separator = text[end];
        if (separator != L'\\' && separator != 0)
            continue;
        text[end] = 0;
        DWORD attributes = GetFileAttributesW(text);
        text[end] = separator;
        if (attributes == INVALID_FILE_ATTRIBUTES) {
            DWORD error = GetLastError();
            // Not there: nothing below it can be a link yet.
            if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND)
                return true;
            return false;
        }
        if (attributes & FILE_ATTRIBUTE_REPARSE_POINT) {
            SetLastError(ERROR_STOPPED_ON_SYMLINK);
            return false;
        }
        if (!separator)
            return true;
    }
}

bool CLinkFreeFolders::Check(const wchar_t* folder)
{
    if (!folder)
        return false;
    if (m_nKnown && _wcsicmp(m_known[m_nLast], folder) == 0)
        return true;
    // The deepest folder found free that holds this one.
    const wchar_t* start = m_root;
    size_t startLength = m_root.GetLength();
    for (unsigned i = 0; i < m_nKnown; ++i) {
        if (_wcsicmp(m_known[i], folder) == 0) {
            m_nLast = i;
            return true;
        }
        size_t length = wcslen(m_known[i]);
        if (length > startLength && IsPathBelow(folder, m_known[i])) {
            start = m_known[i];
            startLength = length;
        }
    }
    if (!IsFreeOfLinks(folder, start))
        return false;
    unsigned slot = m_nKnown < MAX_KNOWN ? m_nKnown++ : m_nNext++ % MAX_KNOWN;
    CopyText(m_known[slot], MAX_PATH, folder);
    m_nLast = slot;
    return true;
}
