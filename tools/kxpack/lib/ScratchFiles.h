// Scratch files that must not outlive kxpack: on SIGINT, SIGTERM or SIGHUP
// the helper programs running are ended (ChildGroups.h) and every
// registered file removed before the process ends as the signal asks, so an
// interrupted build leaves nothing half-written or running behind.
#pragma once

#include <csignal>
#include <string>

// Installs the handlers; once, at start.
void RemoveScratchFilesOnSignals();
// False when the table is full (the caller then refuses to make the file).
// A folder is removed after the files, when it is empty.
bool RegisterScratchFile(const std::string& path, bool folder = false);
void ForgetScratchFile(const std::string& path);

// A file without a name in `folder` (TMPDIR or /tmp when empty), open for
// reading and writing: it is gone when closed, however kxpack ends. -1,
// with the reason, when none can be made.
int OpenUnnamedScratchFile(const std::string& folder, std::string& error);

// Holds off every signal while it lives: a scratch file is made and
// registered with no signal in between.
class CSignalsHeld {
public:
    CSignalsHeld();
    ~CSignalsHeld();
    CSignalsHeld(const CSignalsHeld&) = delete;
    CSignalsHeld& operator=(const CSignalsHeld&) = delete;

private:
    sigset_t m_before;
};
