// Probes of the machine: the privileges start-up enables, the Windows
// version and the processor's SIMD level that the welcome page checks.
#pragma once

// Enables the 30 privileges of the setup program in the process token. True
// when the token could be adjusted, also when the account holds only some.
bool EnablePrivileges();

// major * 100 + minor (XP is 501); 0 when it cannot be read. Cached after
// the first successful query.
int GetWindowsVersion();

// 3 with SSE3, else 2 with SSE2, else 1 with SSE, else 0.
int GetSimdLevel();
