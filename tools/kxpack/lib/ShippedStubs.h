// The setup programs installed with kxpack, one per edition, in
// <prefix>/share/kxsetup/stubs beside <prefix>/bin/kxpack. They are found
// from where the running program file lies, not from a fixed prefix, so that
// the package's tree works wherever it is unpacked.
#pragma once

#include <string>

// <prefix>/share/kxsetup/stubs for a kxpack at <prefix>/bin/kxpack
// (`program` as the kernel resolved it, links followed).
std::string ShippedStubFolder(const std::string& program);
// The stub of `edition` ("32" or "64") shipped with this kxpack. False, with
// the reason, for another edition name, or when that file is not there (the
// path looked at is named).
bool FindShippedStub(const std::string& edition, std::string& path, std::string& error);
