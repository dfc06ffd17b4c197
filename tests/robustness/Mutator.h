// Deterministic mutations of a structured file. Each case is made from the
// campaign's seed and its own index alone, so any case can be made again on
// its own: to run it, to save it, or to turn it into a regression test.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "support/TestPackage.h"

// Where a file's structure lies: the places where pieces begin and end,
// the integer fields that count or size something, and the spans that can
// be swapped, dropped or repeated as whole pieces.
struct TLayout {
    struct TField {
        size_t offset;
        unsigned width; // 2 or 4 bytes, little-endian
        // The bytes from the end of what this field sizes to the end of the
        // file, for "just past the end": 0 when the field is not a size.
        size_t sizedFrom;
    };
    struct TSpan {
        size_t offset;
        size_t length;
    };
    std::vector<size_t> boundaries;
    std::vector<TField> fields;
    std::vector<TSpan> blocks;
};

// splitmix64: small, fast, and the same everywhere.
class CCaseRandom {
public:
    CCaseRandom(uint64_t seed, uint64_t index) : m_state(seed * 0x9E3779B97F4A7C15ull ^ (index + 1)) { Next(); }
    uint64_t Next()
    {
        uint64_t z = (m_state += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return z ^ (z >> 31);
    }
    // 0 .. bound - 1; 0 for bound 0.
    size_t Below(size_t bound) { return bound ? static_cast<size_t>(Next() % bound) : 0; }

private:
    uint64_t m_state;
};

// Case `index` of the campaign `seed`: the mutated bytes, and in `what` a
// short description for the report.
ByteVector Mutate(const ByteVector& base, const TLayout& layout, uint64_t seed, uint64_t index, std::string& what);
