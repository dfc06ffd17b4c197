// What must hold of inspect's reports on any input at all, checked by the
// fuzz target and by the corpus test alike.
#pragma once

#include <string>

#include "InspectBytes.h"

class CFuzzKey;

// The text and the JSON report of `file`, inspected as `name`: "" when they
// agree with each other and with the exit code and hold nothing a terminal
// would act on (or bytes that are not UTF-8), else the rule they broke.
std::string BrokenReportRule(const Bytes& file, const std::string& name, const InspectResult& text,
                             const InspectResult& json);

// The reports of `file` signed anew by the fuzz key (see FuzzSigner.h) and
// checked with its certificate: "" when every signed record verifies, as it
// must, else what did not.
std::string BrokenResignRule(const InspectResult& json);

// Both inspections of `file` that the fuzzer makes, with the rules above:
// as it is with its embedded certificate, and signed anew. "" when all holds.
std::string InspectLikeTheFuzzer(const Bytes& file, const CFuzzKey& key);
