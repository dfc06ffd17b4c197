// What the end-to-end runs share: the installers, where screenshots go, the
// installed product's places, and clean-up of everything an installation
// leaves in the Wine prefix.
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "WizardDriver.h"

class E2eTest : public ::testing::Test {
public:
    static std::wstring Installer(const wchar_t* name = L"kestrel-setup.exe");

protected:
    void SetUp() override;
    void TearDown() override;

    // build/mingw/screenshots/<test name>
    static std::wstring ScreenshotFolder();
    static std::wstring ProgramFiles();
    static std::wstring DefaultFolder() { return ProgramFiles() + L"\\Kestrel Trader"; }
    static std::wstring GroupFolder();
    static std::wstring DesktopLink();
    static std::wstring UninstallKey();
    static std::wstring TerminalLog();
    static bool Exists(const std::wstring& path);
    static bool KeyExists();
    // The installed product and its traces, wherever a run left them.
    static void RemoveInstallation(const std::wstring& folder);
    // The text of a string-table message.
    static std::wstring Message(unsigned id);

    // A driver that saves a screenshot of every page it reaches.
    static void NamePages(CWizardDriver& driver);
    // Starts `installer` and goes to its settings page with the agreement given.
    static HWND OpenSettings(CWizardDriver& driver, const std::wstring& installer = Installer());
    // Runs the installer's wizard to the end with its defaults (launch off)
    // into `folder`; the driver's screenshots are taken on the way. For a
    // folder that `exists`, the question whether to install there is answered Yes.
    void InstallWithDefaults(CWizardDriver& driver, const std::wstring& folder, bool exists = false,
                             const std::wstring& installer = Installer());
    // On a progress page: waits until Finish is enabled, then expects each of
    // its `steps` rows to show the done image.
    static void ExpectAllStepsDone(CWizardDriver& driver, HWND progress, int steps);
    // Runs the default folder's Uninstall.exe (its sheet titled `title`)
    // through its wizard to the end, the personal data removed when asked;
    // its exit code into `exitCode`.
    static void RunUninstaller(CWizardDriver& driver, const std::wstring& title, bool deletePersonalData,
                               DWORD* exitCode);
    // Presses Cancel on a progress page, expects the confirmation and gives
    // `answer`; false when no confirmation came.
    static bool AnswerCancel(CWizardDriver& driver, int answer);
    // Closes the sample terminal's window (started by Finish or by a test).
    static bool CloseTerminal(DWORD timeoutMs = 20000);

    std::wstring m_extraFolder; // a folder a test installs into besides the default
};
