// The structure of the files the campaign mutates, found by reading them
// (a program file with its package, a ZIP archive) or recorded while making
// them (a language file).
#pragma once

#include "robustness/Mutator.h"

// Containers and records behind the image; the package offset field too.
TLayout PackageLayout(const ByteVector& program);
// Local entries, central headers and the end record.
TLayout ZipLayout(const ByteVector& zip);

// A language file with string, dialog and item-list blocks, texts with
// escapes and texts at the length limits.
struct TLanguageSample {
    ByteVector bytes;
    TLayout layout;
};
TLanguageSample MakeLanguageSample();
