// The progress pages' runs in stand-in windows: the engine on its own
// thread, its reports turned into step images, bar positions, the status
// line, message boxes and wizard buttons on this thread.
#include <windows.h>
#include <prsht.h>

#include "app/Startup.h"
#include "base/FileSystem.h"
#include "install/EngineFixture.h"
#include "res/TextIds.h"
#include "state/State.h"
#include "support/FakePage.h"
#include "support/TestPackage.h"
#include "ui/pages/InstallRun.h"
#include "ui/pages/UninstallRun.h"


namespace {

std::wstring Text(unsigned id)
{
    wchar_t text[512];
    LoadStringW(GetModuleHandleW(nullptr), id, text, 512);
    return text;
}

std::string ReadText(const std::wstring& path)
{
    ByteVector bytes;
    ReadBytes(path, bytes);
    return std::string(bytes.begin(), bytes.end());
}

class ProgressRunTest : public EngineTest {};

TEST_F(ProgressRunTest, InstallationShownStepByStepWithFinishAtTheEnd)
{
    CDialogAnswerer answerer;
    CInstallRun run(Package, &m_settings);
    run.Engine().SetSourceProgram(SampleInstaller().c_str());
    CFakePage page(run);
    EXPECT_EQ((std::vector<std::wstring>{L"  Create directories", L"  Create program group", L"  Extract files",
                                         L"  Configuring"}),
              page.RowTexts());
    // A second activation starts no second worker.
    run.StartWorker();
    run.StartWorker();
    EXPECT_TRUE(page.CancelEnabled()) << "Cancel stays while the installation runs";
    ASSERT_TRUE(page.PumpUntil([&] { return run.IsFinished(); }));

    const std::vector<PostedStep> positions = {
        {0, StepRunning, 0},  {0, StepDone, 25}, {1, StepRunning, 25}, {1, StepDone, 50},
        {2, StepRunning, 50}, {2, StepDone, 75}, {3, StepRunning, 75}, {3, StepDone, 100},
    };
    EXPECT_EQ(positions, page.steps);
    EXPECT_EQ(1000, page.BarPosition());
    // Progress within the files step stays between its start and its end.
    for (WPARAM position : page.progress) {
        EXPECT_GT(position, 500u);
        EXPECT_LE(position, 750u);
    }
    EXPECT_EQ((std::vector<LPARAM>{0, 0, PSWIZB_FINISH}), page.buttons);
    EXPECT_FALSE(page.CancelEnabled());
    EXPECT_EQ(Text(IDS_INSTALL_DONE), page.StatusText());
    EXPECT_FALSE(run.IsFailed());
    EXPECT_TRUE(answerer.Boxes().empty());
    EXPECT_EQ("/install\r\n", ReadText(TerminalLog()));

    // Once the worker has ended a cancel request closes the wizard as it is;
    // after a stop request it is refused: the user leaves through Finish.
    EXPECT_EQ(0, run.OnQueryCancel());
    run.StopWorker();
    EXPECT_EQ(-1, run.OnQueryCancel());
}

TEST_F(ProgressRunTest, CancelPromptAndFinish)
{
    m_settings.launchAfterInstall = false;
    CInstallRun run(Package, &m_settings);
    run.Engine().SetSourceProgram(SampleInstaller().c_str());
    CFakePage page(run);
    {
        // No: the worker goes on and the wizard stays.
        CDialogAnswerer answerNo(IDNO);
        run.StartWorker();
        EXPECT_EQ(-1, run.OnQueryCancel());
        EXPECT_FALSE(run.IsFailed());
        ASSERT_TRUE(page.PumpUntil([&] { return run.IsFinished(); }));
        ASSERT_EQ(1u, answerNo.Boxes().size());
        EXPECT_EQ(Text(IDS_CONFIRM_CANCEL), answerNo.Boxes()[0].text);
        EXPECT_EQ(L"Kestrel Trader", answerNo.Boxes()[0].caption);
    }
    // Finish after success launches the program only when asked to.
    run.OnWizardFinish();
    Sleep(500);
    EXPECT_EQ(nullptr, FindWindowW(L"KestrelTerminal", nullptr));
    TInstallSettings launch = m_settings;
    launch.launchAfterInstall = true;
    run.Engine().SetSettings(launch);
    run.OnWizardFinish();
    HWND terminal = nullptr;
    page.PumpUntil([&] { return (terminal = FindWindowW(L"KestrelTerminal", nullptr)) != nullptr; }, 20000);
    ASSERT_NE(nullptr, terminal);
    PostMessageW(terminal, WM_CLOSE, 0, 0);
    EXPECT_EQ("/install\r\n\r\n", ReadText(TerminalLog())); // the launch has no arguments
    Sleep(300);
}

TEST_F(ProgressRunTest, ReportedWarningsAndErrorsAreShownOnThisThread)
{
    // A group outside the Programs folder: the group warning, then the
    // system's text for the error, each captioned with the product name.
    m_settings.group.Assign(L"..\\KxEscape");
    CDialogAnswerer answerer;
    CInstallRun run(Package, &m_settings);
    run.Engine().SetSourceProgram(SampleInstaller().c_str());
    CFakePage page(run);
    run.StartWorker();
    ASSERT_TRUE(page.PumpUntil([&] { return run.IsFinished(); }));
    EXPECT_EQ((PostedStep{1, StepFailed, 100}), page.steps.back());
    EXPECT_TRUE(run.IsFailed());
    EXPECT_TRUE(page.StatusText().empty());
    EXPECT_EQ(1000, page.BarPosition());
    std::vector<CDialogAnswerer::SeenBox> boxes = answerer.Boxes();
    ASSERT_EQ(2u, boxes.size());
    EXPECT_EQ(Text(IDS_GROUP_FAILED), boxes[0].text);
    wchar_t error[512];
    FormatSystemError(ERROR_BAD_PATHNAME, error, 512);
    EXPECT_EQ(std::wstring(error), boxes[1].text);
    EXPECT_EQ(L"Kestrel Trader", boxes[1].caption);
    EXPECT_EQ((std::vector<LPARAM>{0, PSWIZB_FINISH}), page.buttons);
    run.OnWizardFinish(); // rolls back; nothing was made
}

TEST_F(ProgressRunTest, UninstallationCannotBeCancelled)
{
    {
        CRecordingReport report;
        CTestInstallEngine installation(Package, report);
        RunInstallation(installation);
        ASSERT_TRUE(report.succeeded);
    }
    ASSERT_TRUE(LoadPackageAndNames(Installed(L"Uninstall.exe").c_str()));
    uint8_t deletePersonalData = 0;
    CUninstallRun run(Package, &deletePersonalData);
    CFakePage page(run);
    run.StartWorker();
    EXPECT_FALSE(page.CancelEnabled());
    ASSERT_TRUE(page.PumpUntil([&] { return run.IsFinished(); }));
    const std::vector<PostedStep> positions = {{0, StepRunning, 0},  {0, StepDone, 33},  {1, StepRunning, 33},
                                               {1, StepDone, 66},    {2, StepRunning, 66}, {2, StepDone, 100}};
    EXPECT_EQ(positions, page.steps);
    EXPECT_EQ((std::vector<LPARAM>{0, PSWIZB_FINISH}), page.buttons);
    EXPECT_FALSE(page.CancelEnabled());
    EXPECT_EQ(Text(IDS_UNINSTALL_DONE), page.StatusText());
    EXPECT_FALSE(Exists(Installed(L"readme.txt")));
    // Finish is not pressed: it would remove this test program.
}

} // namespace
