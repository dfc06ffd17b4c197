// kxpack inspect on a program file that is already in memory. Nothing is
// printed or read here unless a stream is given, so that the tests and the
// fuzzer can run it as often as they like; the command line has its report
// written to stdout as it is made.
#pragma once

#include <cstdio>
#include <string>

#include "lib/ByteSource.h"
#include "lib/Bytes.h"

// A certificate given by the caller, checked against instead of the one
// embedded in the file's image.
struct InspectCertificate {
    std::string source;    // the file it came from, as the report names it
    Bytes der;
    std::string readError; // why the file could not be read; "" when `der` holds it
};

struct InspectResult {
    int exitCode = 0;   // EXIT_OK when the package loads and everything verifies
    std::string report; // the text or JSON report, for stdout
    std::string error;  // set instead of a report when there is no package to show
};

// `name` stands for the file in the report. Without `certificate`, the one
// embedded in the image is used.
InspectResult InspectBytes(const Bytes& file, const std::string& name,
                           const InspectCertificate* certificate, bool json);
// The same for a file read in pieces (the command line's large installers).
InspectResult InspectFile(const CByteSource& file, const std::string& name,
                          const InspectCertificate* certificate, bool json);
// The same with the report written to `stream` as it is made, so that a
// long one is never held whole; `report` comes back empty.
InspectResult InspectFile(const CByteSource& file, const std::string& name,
                          const InspectCertificate* certificate, bool json, FILE* stream);
