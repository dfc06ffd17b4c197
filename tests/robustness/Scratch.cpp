#include "robustness/Scratch.h"

#include <windows.h>

#include "base/FileSystem.h"
#include "support/TempFolder.h"

namespace {

std::wstring Upper(std::wstring text)
{
    CharUpperBuffW(&text[0], static_cast<DWORD>(text.size()));
    return text;
}

} // namespace

std::string Narrow(const std::wstring& text)
{
    std::string out;
    for (wchar_t ch : text)
        out += ch < 128 ? static_cast<char>(ch) : '?';
    return out;
}

void ListFiles(const std::wstring& folder, std::set<std::wstring>& files, std::set<std::wstring>* folders)
{
    WIN32_FIND_DATAW found;
    HANDLE find = FindFirstFileW((folder + L"\\*").c_str(), &found);
    if (find == INVALID_HANDLE_VALUE)
        return;
    do {
        std::wstring name = found.cFileName;
        if (name == L"." || name == L"..")
            continue;
        std::wstring path = folder + L"\\" + name;
        if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
            if (folders)
                folders->insert(path);
            ListFiles(path, files, folders);
        } else {
            files.insert(path);
        }
    } while (FindNextFileW(find, &found));
    FindClose(find);
}

CScratch::CScratch()
{
    wchar_t temp[MAX_PATH];
    DWORD length = GetTempPathW(MAX_PATH, temp);
    m_root = std::wstring(temp, length) + L"kxcampaign-" + std::to_wstring(GetCurrentProcessId());
    RemoveTree(m_root);
    m_input = m_root + L"\\in";
    m_temp = m_root + L"\\tmp\\";
    std::wstring chain = m_root + L"\\s1\\s2\\s3\\a\\b";
    m_install = chain + L"\\install";
    m_bReady = CreateFolderTree(m_input.c_str()) && CreateFolderTree(m_temp.c_str()) &&
               CreateFolderTree(m_install.c_str());
    m_input += L"\\case.bin";
    for (std::wstring folder = m_install; folder.size() > m_root.size(); folder = folder.substr(0, folder.rfind(L'\\')))
        m_expected.insert(Upper(folder));
    m_expected.insert(Upper(m_root + L"\\in"));
    m_expected.insert(Upper(m_root + L"\\tmp"));
    m_expected.insert(Upper(m_input));
    m_driveRoot = Listing(L"C:");
}

CScratch::~CScratch()
{
    RemoveTree(m_root);
}

std::set<std::wstring> CScratch::Listing(const std::wstring& folder) const
{
    std::set<std::wstring> names;
    WIN32_FIND_DATAW found;
    HANDLE find = FindFirstFileW((folder + L"\\*").c_str(), &found);
    if (find != INVALID_HANDLE_VALUE) {
        do
            names.insert(Upper(found.cFileName));
        while (FindNextFileW(find, &found));
        FindClose(find);
    }
    return names;
}

std::string CScratch::CheckAndClear(const CPathList* created)
{
    std::string problem;
    std::set<std::wstring> recorded;
    if (created)
        for (unsigned i = 0; i < created->GetCount(); ++i)
            recorded.insert(Upper((*created)[i]));
    // Below the installation folder: only recorded files.
    std::set<std::wstring> files;
    ListFiles(m_install, files);
    for (const std::wstring& file : files)
        if (!recorded.count(Upper(file)))
            problem += "unrecorded file " + Narrow(file) + "; ";
    // Everywhere else below the root: only the fixed layout.
    std::set<std::wstring> others, folders;
    ListFiles(m_root, others, &folders);
    others.insert(folders.begin(), folders.end());
    std::wstring installPrefix = Upper(m_install + L"\\");
    for (const std::wstring& path : others) {
        std::wstring upper = Upper(path);
        if (!m_expected.count(upper) && upper.compare(0, installPrefix.size(), installPrefix) != 0)
            problem += "written outside the installation folder: " + Narrow(path) + "; ";
    }
    if (Listing(L"C:") != m_driveRoot)
        problem += "the drive's root changed; ";
    // Clean for the next case, the layout kept.
    DeleteFolderTree(m_install.c_str(), L"*.*", true, false);
    for (const std::wstring& path : others) {
        std::wstring upper = Upper(path);
        if (!m_expected.count(upper) && upper.compare(0, installPrefix.size(), installPrefix) != 0) {
            DeleteFileW(path.c_str());
            RemoveTree(path);
        }
    }
    CreateFolderTree(m_install.c_str());
    return problem;
}
