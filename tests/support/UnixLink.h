// Links made in the tests. Wine 8 neither makes symbolic links
// (CreateSymbolicLinkW does nothing) nor junctions; a Unix symbolic link
// inside the prefix's drive is followed like one, and reported as a reparse
// point. The test session makes them on request (tests/harness/session.sh):
// a Unix program started from a test would bring up Wine services that hold
// the test runner's output pipe.
#pragma once

#include <string>

// Makes `link` a symbolic link to `target` (a relative target is taken from
// the link's folder, with forward slashes). False outside a test session.
bool MakeUnixLink(const std::wstring& link, const std::string& target);
// Removes such a link (not what it points at); true when it is gone.
bool RemoveUnixLink(const std::wstring& link);
