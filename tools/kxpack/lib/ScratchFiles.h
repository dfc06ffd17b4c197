// Scratch files that must not outlive kxpack: on SIGINT, SIGTERM or SIGHUP
// every registered one is removed before the process ends as the signal
// asks, so an interrupted build leaves nothing half-written behind.
#pragma once

#include <string>

// Installs the handlers; once, at start.
void RemoveScratchFilesOnSignals();
// False when the table is full (the caller then refuses to make the file).
bool RegisterScratchFile(const std::string& path);
void ForgetScratchFile(const std::string& path);
