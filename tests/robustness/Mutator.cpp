#include "robustness/Mutator.h"

#include <algorithm>
#include <cstring>

namespace {

enum Kind { BIT_FLIPS, TRUNCATE, FIELD, SWAP, DROP, REPEAT, SPLICE, KIND_COUNT };

void FlipBits(ByteVector& bytes, const TLayout& layout, CCaseRandom& random, std::string& what)
{
    unsigned flips = 1 + static_cast<unsigned>(random.Below(4));
    what += "flip";
    for (unsigned i = 0; i < flips && !bytes.empty(); ++i) {
        size_t at;
        // Half the flips near the structure, where they change the most.
        if (random.Below(2) && !layout.boundaries.empty()) {
            size_t near = layout.boundaries[random.Below(layout.boundaries.size())];
            at = near + random.Below(32);
        } else {
            at = random.Below(bytes.size());
        }
        if (at >= bytes.size())
            at = bytes.size() - 1;
        unsigned bit = static_cast<unsigned>(random.Below(8));
        bytes[at] ^= static_cast<uint8_t>(1u << bit);
        what += " " + std::to_string(at) + ":" + std::to_string(bit);
    }
}

void Truncate(ByteVector& bytes, const TLayout& layout, CCaseRandom& random, std::string& what)
{
    size_t at = layout.boundaries.empty() ? random.Below(bytes.size() + 1)
                                          : layout.boundaries[random.Below(layout.boundaries.size())];
    // At the boundary and a few bytes to either side.
    long shift = static_cast<long>(random.Below(9)) - 4;
    long length = static_cast<long>(at) + shift;
    length = std::max(0L, std::min(length, static_cast<long>(bytes.size())));
    bytes.resize(static_cast<size_t>(length));
    what += "truncate " + std::to_string(length);
}

void SetField(ByteVector& bytes, const TLayout& layout, CCaseRandom& random, std::string& what)
{
    if (layout.fields.empty())
        return FlipBits(bytes, layout, random, what);
    const TLayout::TField& field = layout.fields[random.Below(layout.fields.size())];
    if (field.offset + field.width > bytes.size())
        return;
    uint32_t old = 0;
    memcpy(&old, &bytes[field.offset], field.width);
    uint32_t mask = field.width == 2 ? 0xFFFFu : 0xFFFFFFFFu;
    uint32_t past = static_cast<uint32_t>(old + field.sizedFrom);
    const uint32_t choices[] = {0, 1, mask, mask >> 1, (mask >> 1) + 1, old + 1, old - 1, past, past + 1, old * 2};
    unsigned pick = static_cast<unsigned>(random.Below(sizeof(choices) / sizeof(choices[0])));
    if (!field.sizedFrom && (pick == 7 || pick == 8))
        pick = 0;
    uint32_t value = choices[pick] & mask;
    memcpy(&bytes[field.offset], &value, field.width);
    what += "field @" + std::to_string(field.offset) + " " + std::to_string(old) + " -> " + std::to_string(value);
}

void SwapBlocks(ByteVector& bytes, const TLayout& layout, CCaseRandom& random, std::string& what)
{
    if (layout.blocks.size() < 2)
        return Truncate(bytes, layout, random, what);
    size_t a = random.Below(layout.blocks.size());
    size_t b = random.Below(layout.blocks.size() - 1);
    if (b >= a)
        ++b;
    TLayout::TSpan first = layout.blocks[std::min(a, b)];
    TLayout::TSpan second = layout.blocks[std::max(a, b)];
    if (first.offset + first.length > second.offset || second.offset + second.length > bytes.size())
        return;
    ByteVector out(bytes.begin(), bytes.begin() + first.offset);
    out.insert(out.end(), bytes.begin() + second.offset, bytes.begin() + second.offset + second.length);
    out.insert(out.end(), bytes.begin() + first.offset + first.length, bytes.begin() + second.offset);
    out.insert(out.end(), bytes.begin() + first.offset, bytes.begin() + first.offset + first.length);
    out.insert(out.end(), bytes.begin() + second.offset + second.length, bytes.end());
    bytes.swap(out);
    what += "swap blocks " + std::to_string(std::min(a, b)) + " " + std::to_string(std::max(a, b));
}

void DropOrRepeat(ByteVector& bytes, const TLayout& layout, CCaseRandom& random, bool repeat, std::string& what)
{
    if (layout.blocks.empty())
        return Truncate(bytes, layout, random, what);
    size_t index = random.Below(layout.blocks.size());
    TLayout::TSpan span = layout.blocks[index];
    if (span.offset + span.length > bytes.size())
        return;
    ByteVector block(bytes.begin() + span.offset, bytes.begin() + span.offset + span.length);
    if (repeat)
        bytes.insert(bytes.begin() + span.offset + span.length, block.begin(), block.end());
    else
        bytes.erase(bytes.begin() + span.offset, bytes.begin() + span.offset + span.length);
    what += (repeat ? "repeat block " : "drop block ") + std::to_string(index);
}

void Splice(ByteVector& bytes, const TLayout& layout, CCaseRandom& random, std::string& what)
{
    if (bytes.empty())
        return;
    size_t at = layout.boundaries.empty() ? random.Below(bytes.size())
                                          : layout.boundaries[random.Below(layout.boundaries.size())];
    size_t length = 1 + random.Below(16);
    what += "splice " + std::to_string(at) + "+" + std::to_string(length);
    for (size_t i = 0; i < length && at + i < bytes.size(); ++i) {
        // Bytes that mean something to parsers as well as random ones.
        const uint8_t special[] = {0x00, 0xFF, 0x7F, 0x80, 0x01, 0x50, 0x4B};
        bytes[at + i] = random.Below(2) ? special[random.Below(sizeof(special))] : static_cast<uint8_t>(random.Next());
    }
}

void Apply(Kind kind, ByteVector& bytes, const TLayout& layout, CCaseRandom& random, std::string& what)
{
    switch (kind) {
    case BIT_FLIPS: return FlipBits(bytes, layout, random, what);
    case TRUNCATE: return Truncate(bytes, layout, random, what);
    case FIELD: return SetField(bytes, layout, random, what);
    case SWAP: return SwapBlocks(bytes, layout, random, what);
    case DROP: return DropOrRepeat(bytes, layout, random, false, what);
    case REPEAT: return DropOrRepeat(bytes, layout, random, true, what);
    default: return Splice(bytes, layout, random, what);
    }
}

} // namespace

ByteVector Mutate(const ByteVector& base, const TLayout& layout, uint64_t seed, uint64_t index, std::string& what)
{
    CCaseRandom random(seed, index);
    ByteVector bytes = base;
    // Fields and flips are the common cases; one case in eight combines two
    // mutations (a size changed and a block moved, say). Truncation comes
    // last so that the other change stays in the bytes.
    Kind first = static_cast<Kind>(random.Below(KIND_COUNT));
    if (random.Below(8) == 0) {
        Kind second = static_cast<Kind>(random.Below(KIND_COUNT));
        if (first == TRUNCATE)
            std::swap(first, second);
        Apply(first, bytes, layout, random, what);
        what += "; ";
        Apply(second, bytes, layout, random, what);
    } else {
        Apply(first, bytes, layout, random, what);
    }
    return bytes;
}
