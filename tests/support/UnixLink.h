// Links made in the tests. Wine 8 neither makes symbolic links
// (CreateSymbolicLinkW does nothing) nor junctions; a Unix symbolic link
// inside the prefix's drive is followed like one, and reported as a reparse
// point. It is made by running the Unix `ln` through Wine's Z: drive.
#pragma once

#include <string>

// Makes `link` a symbolic link to `target` (a relative target is taken from
// the link's folder, with forward slashes). False where that cannot be done
// (not under Wine), and unless KX_LINK_TESTS=1: the first Unix program a
// test starts brings up a second Wine server and desktop that hold the test
// runner's output pipe, so ctest waits for its timeout although the tests
// passed. Run the link tests by hand with the variable set (see the report
// of the change that added them).
bool MakeUnixLink(const std::wstring& link, const std::string& target);
// Removes such a link (not what it points at); true when it is gone.
bool RemoveUnixLink(const std::wstring& link);
