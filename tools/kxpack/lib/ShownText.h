// Text from an installer, shown to a person: whatever its bytes, what is
// printed holds no control character, is UTF-8, and reads back one way.
//
// The text form. UTF-8 stands as itself (names in any script), except:
//   C0 controls and DEL                               \xNN (upper-case hex)
//   a byte that is not part of UTF-8                  \xNN (80 to FF)
//   C1 controls (U+0080 to U+009F), the line and paragraph separators and
//   the bidirectional embeddings, overrides and isolates (U+202A to U+202E,
//   U+2066 to U+2069), which could hide or reorder what follows them
//                                                     \uNNNN
//   a backslash before x, u, another backslash or an escape: doubled
// Any other backslash stands as itself, so that Windows paths read as such.
#pragma once

#include <string>

// `bytes` in the text form.
std::string ShownText(const std::string& bytes);

// Text made by kxpack (a problem, a signer's name from OpenSSL) that may
// quote the installer: anything there that a terminal would act on is
// escaped as above; backslashes stay, as quoted names are in the text form
// already.
std::string TerminalSafe(const std::string& text);

// Whether `bytes` are UTF-8: no overlong forms, no surrogates, nothing cut.
bool IsUtf8(const std::string& bytes);
