// Archives for the archive contract, made byte by byte and shared by the
// native tests (kxpack must refuse or take them) and the setup program's
// tests (its extraction must refuse or install them): one archive for each
// rule, broken in one way only, and archives at the edge of a rule that
// both must take.
#pragma once

#include <string>
#include <vector>

#include "archive/ZipContract.h"
#include "support/TestPackage.h"

struct TCorpusZip {
    std::string what;  // names the case in test output
    ZipRule rule;      // the rule it breaks; None: both programs take it
    ByteVector bytes;
};

std::vector<TCorpusZip> MakeBrokenZips();
std::vector<TCorpusZip> MakeEdgeZips();
