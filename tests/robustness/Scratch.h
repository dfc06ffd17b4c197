// The one folder a campaign may write to, and the check that a case wrote
// nowhere else: not beside the installation folder, not above it, not in
// the drive's root.
//
//   <root>\in\            the case's input file
//   <root>\tmp\           the temporary folder (licence archives)
//   <root>\s1\s2\s3\a\b\install   the installation folder, deep enough that
//                         a name climbing out of it still lands inside <root>
#pragma once

#include <set>
#include <string>

#include "archive/Extract.h"

class CScratch {
public:
    CScratch();
    ~CScratch();
    CScratch(const CScratch&) = delete;
    CScratch& operator=(const CScratch&) = delete;

    bool Ready() const { return m_bReady; }
    const std::wstring& Input() const { return m_input; }
    // Ends in a backslash, as the system's temporary folder does.
    const std::wstring& Temp() const { return m_temp; }
    const std::wstring& Install() const { return m_install; }

    // After a case: what was written where it must not be, or that a file in
    // the installation folder is missing from `created` (a rollback would
    // leave it behind). Empty when all is well. Clears the folders.
    std::string CheckAndClear(const CPathList* created);

private:
    std::set<std::wstring> Listing(const std::wstring& folder) const;

    bool m_bReady = false;
    std::wstring m_root, m_input, m_temp, m_install;
    std::set<std::wstring> m_driveRoot; // C:\ before the campaign
    std::set<std::wstring> m_expected;  // every path below m_root outside the installation folder
};

// Every file below `folder`, with full paths.
void ListFiles(const std::wstring& folder, std::set<std::wstring>& files, std::set<std::wstring>* folders = nullptr);
std::string Narrow(const std::wstring& text);
