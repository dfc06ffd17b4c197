// A scratch folder for one test, removed with everything in it at the end.
#pragma once

#include <string>

class CTempFolder {
public:
    CTempFolder();
    ~CTempFolder();
    CTempFolder(const CTempFolder&) = delete;
    CTempFolder& operator=(const CTempFolder&) = delete;

    const std::wstring& Root() const { return m_root; }
    // Root + "\" + relative.
    std::wstring Path(const std::wstring& relative) const;

private:
    std::wstring m_root;
};

// Deletes a folder tree; true when it is gone.
bool RemoveTree(const std::wstring& folder);
