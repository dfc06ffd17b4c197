// What the engine tests share: the sample installer loaded as the running
// package, an installation folder in a scratch folder, a program group of
// their own, and clean-up of everything an installation leaves in the system.
#pragma once

#include <gtest/gtest.h>

#include <windows.h>

#include <map>
#include <string>
#include <vector>

#include "install/InstallEngine.h"
#include "support/RecordingReport.h"
#include "support/TempFolder.h"

// An engine whose user confirms a cancel at a chosen cancellation point.
class CTestInstallEngine : public CInstallEngine {
public:
    using CInstallEngine::CInstallEngine;
    int cancelAt = -1; // 0: after the group, 1: after the files, 2: after the custom files, 3: after Uninstall.exe
    int checks = 0;

protected:
    bool CancelRequested() override
    {
        if (checks++ == cancelAt)
            m_bCancel = true; // what the prompt's Yes sets
        return m_bCancel;
    }
};

class EngineTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // Runs the installation of the sample installer on this thread, with
    // the fixture's settings.
    void RunInstallation(CInstallEngine& engine, const std::wstring& installer = SampleInstaller());
    std::wstring Installed(const std::wstring& relative) const { return m_install + L"\\" + relative; }
    std::wstring GroupFolder() const;
    std::wstring DesktopLink() const;
    // Turns the installed "docs" into a link to `outside` (made here, below
    // the scratch folder), which holds a manual.txt of someone else's.
    bool LinkDocsOutside(const std::wstring& outside) const;
    std::wstring TerminalLog() const;
    static std::wstring SampleInstaller();
    static bool Exists(const std::wstring& path);
    std::wstring UninstallKey() const;

    CTempFolder m_root;
    std::wstring m_install;
    std::wstring m_group;
    TInstallSettings m_settings;
};

std::vector<std::wstring> Paths(const CPathList& list);

// Value names and data of a key under HKEY_LOCAL_MACHINE, empty when it is
// missing (sorted: Wine lists values by name, so the order of writing
// cannot be seen); a value that is no string shows as "<not a string>".
std::map<std::wstring, std::wstring> RegistryValues(const std::wstring& keyName);
// A DWORD value of such a key; ~0 when it is missing or of another type.
DWORD RegistryNumber(const std::wstring& keyName, const wchar_t* name);

// The steps of a whole installation, each started and done.
extern const std::vector<ReportedStep> SUCCESSFUL_INSTALL;
