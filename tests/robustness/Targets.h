// What a campaign feeds its cases to. Prepare learns from the unmutated
// base what right answers look like; Run gives one case to the program's
// code and says which promise, if any, was broken.
#pragma once

#include <memory>
#include <set>
#include <string>
#include <utility>

#include "robustness/Mutator.h"
#include "robustness/Scratch.h"

struct TCaseResult {
    std::string outcome; // a short class of what happened, counted in the totals
    std::string problem; // empty when every promise held
};

class CTarget {
public:
    virtual ~CTarget() = default;
    // `base` is a file for targets that read one, else empty. Sets the base
    // bytes and their layout.
    virtual bool Prepare(const std::wstring& base, std::string& problem) = 0;
    virtual TCaseResult Run(const ByteVector& input, CScratch& scratch) = 0;

    const ByteVector& Base() const { return m_base; }
    const TLayout& Layout() const { return m_layout; }

protected:
    // The case as the scratch folder's input file; false (with the problem
    // in `result`) when it cannot be written.
    static bool WriteInput(const ByteVector& input, CScratch& scratch, TCaseResult& result);

    ByteVector m_base;
    TLayout m_layout;
};

std::unique_ptr<CTarget> MakeTarget(const std::string& name);

// (size, CRC-32) of every entry an archive lists.
using TEntrySet = std::set<std::pair<uint32_t, uint32_t>>;
TEntrySet ArchiveEntries(const ByteVector& zip);
// The promises of an extraction: on success every recorded file is whole
// (its size and CRC-32 are those of an entry of the original archive).
std::string CheckExtracted(bool extracted, const CPathList& created, const TEntrySet& entries);
