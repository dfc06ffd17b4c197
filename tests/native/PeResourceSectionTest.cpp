// An image's resources written anew: the section grows or shrinks, the base
// relocations behind it move with their directory entry, every other byte
// of the image stays, and an image laid out otherwise is refused untouched.
// The checksum kxpack sums on the way matches the one summed word by word.
#include <gtest/gtest.h>

#include <cstring>
#include <random>

#include "KxpackFixture.h"
#include "lib/PeChecksum.h"
#include "lib/PeResourceSection.h"

namespace {

const uint32_t PE = 0x80, OPTIONAL = PE + 24, DIRECTORIES = OPTIONAL + 96, SECTIONS = OPTIONAL + 0xE0;

struct SectionHeader {
    std::string name;
    uint32_t virtualSize, address, rawSize, rawOffset;
};

SectionHeader SectionAt(const Bytes& image, unsigned index)
{
    const uint8_t* at = &image[SECTIONS + index * 40];
    return {std::string(reinterpret_cast<const char*>(at), strnlen(reinterpret_cast<const char*>(at), 8)),
            ReadU32(at + 8), ReadU32(at + 12), ReadU32(at + 16), ReadU32(at + 20)};
}

uint32_t Directory(const Bytes& image, unsigned index, unsigned field)
{
    return ReadU32(&image[DIRECTORIES + index * 8 + field * 4]);
}

std::vector<ResourceEntry> Resources(const Bytes& image)
{
    std::vector<ResourceEntry> entries;
    std::string error;
    EXPECT_TRUE(ReadImageResources(CMemorySource(image), image.size(), entries, error)) << error;
    return entries;
}

ResourceEntry Data(uint16_t name, size_t size, uint8_t fill)
{
    ResourceEntry entry;
    entry.type = ResourceId::Number(RESOURCE_TYPE_RCDATA);
    entry.name = ResourceId::Number(name);
    entry.data.assign(size, fill);
    return entry;
}

// The word-by-word sum with end-around carry after each word, the field
// skipped, plus the length: how the format describes it.
uint32_t ChecksumWordByWord(Bytes file, uint32_t field)
{
    memset(&file[field], 0, 4);
    size_t length = file.size();
    if (file.size() & 1)
        file.push_back(0);
    uint32_t sum = 0;
    for (size_t i = 0; i < file.size(); i += 2) {
        sum += file[i] | file[i + 1] << 8;
        sum = (sum & 0xFFFF) + (sum >> 16);
    }
    return sum + static_cast<uint32_t>(length);
}

TEST(PeResourceSectionTest, GrowingAndShrinkingMovesTheRelocationsAndKeepsTheRest)
{
    const Bytes stub = MakeStub();
    const SectionHeader text = SectionAt(stub, 0), resources = SectionAt(stub, 1), relocations = SectionAt(stub, 2);
    ASSERT_EQ(".rsrc", resources.name);
    ASSERT_EQ(".reloc", relocations.name);
    const Bytes relocationBytes(stub.begin() + relocations.rawOffset,
                                stub.begin() + relocations.rawOffset + relocations.virtualSize);

    // 9,000 bytes more: three more file pages, three more memory pages.
    std::vector<ResourceEntry> grown = Resources(stub);
    grown.push_back(Data(7, 9000, 0x5A));
    Bytes image = stub;
    std::string error;
    ASSERT_TRUE(WriteImageResources(image, grown, error)) << error;

    SectionHeader newResources = SectionAt(image, 1), newRelocations = SectionAt(image, 2);
    EXPECT_EQ(resources.address, newResources.address);
    EXPECT_EQ(resources.rawOffset, newResources.rawOffset);
    EXPECT_EQ(0u, newResources.rawSize % 0x200);
    EXPECT_GE(newResources.rawSize, newResources.virtualSize);
    EXPECT_EQ(newResources.virtualSize, Directory(image, 2, 1));
    EXPECT_EQ(newResources.rawOffset + newResources.rawSize, newRelocations.rawOffset);
    EXPECT_EQ(newRelocations.address, Directory(image, 5, 0));
    EXPECT_EQ(relocations.virtualSize, Directory(image, 5, 1));
    EXPECT_EQ(0u, newRelocations.address % 0x1000);
    EXPECT_GE(newRelocations.address, newResources.address + newResources.virtualSize);
    EXPECT_GT(newRelocations.address, relocations.address);
    EXPECT_EQ(Bytes(image.begin() + newRelocations.rawOffset,
                    image.begin() + newRelocations.rawOffset + relocations.virtualSize),
              relocationBytes);
    EXPECT_EQ(newRelocations.address + 0x1000, ReadU32(&image[OPTIONAL + 56])) << "SizeOfImage";
    EXPECT_EQ(newRelocations.rawOffset + newRelocations.rawSize, image.size());
    // The headers before the section table and the code are as they were.
    EXPECT_EQ(0, memcmp(stub.data(), image.data(), OPTIONAL + 8));
    EXPECT_EQ(0, memcmp(&stub[text.rawOffset], &image[text.rawOffset], text.rawSize));
    std::vector<ResourceEntry> read = Resources(image);
    ASSERT_EQ(grown.size(), read.size());
    size_t found = 0;
    for (const ResourceEntry& entry : read)
        found += entry.type == ResourceId::Number(RESOURCE_TYPE_RCDATA) && entry.data == Bytes(9000, 0x5A);
    EXPECT_EQ(1u, found);

    // Back to the stub's own resources: the stub's layout again.
    ASSERT_TRUE(WriteImageResources(image, Resources(stub), error)) << error;
    EXPECT_EQ(stub.size(), image.size());
    for (unsigned i = 0; i < 3; ++i) {
        EXPECT_EQ(SectionAt(stub, i).address, SectionAt(image, i).address) << i;
        EXPECT_EQ(SectionAt(stub, i).rawOffset, SectionAt(image, i).rawOffset) << i;
    }
    EXPECT_EQ(ReadU32(&stub[OPTIONAL + 56]), ReadU32(&image[OPTIONAL + 56]));
    EXPECT_EQ(ReadU32(&stub[OPTIONAL + 8]), ReadU32(&image[OPTIONAL + 8])) << "SizeOfInitializedData";
}

TEST(PeResourceSectionTest, ImagesLaidOutOtherwiseAreRefusedUntouched)
{
    std::string error;
    auto refused = [&](Bytes image, const std::string& reason) {
        const Bytes before = image;
        error.clear();
        EXPECT_FALSE(WriteImageResources(image, {Data(1, 10, 1)}, error)) << reason;
        EXPECT_NE(std::string::npos, error.find(reason)) << error;
        EXPECT_EQ(before, image);
    };
    refused(MakeStub({}, MACHINE_I386, false), "the image has no resource section");

    // Something other than the relocations behind the resources: code that
    // refers to its own addresses could not move.
    Bytes image = MakeStub();
    memcpy(&image[DIRECTORIES + 5 * 8], "\0\0\0\0\0\0\0\0", 8);
    refused(image, "section .reloc follows the resources and cannot move");

    // A directory (here the imports) inside the resource section.
    image = MakeStub();
    uint32_t address = SectionAt(image, 1).address + 0x10, size = 0x20;
    memcpy(&image[DIRECTORIES + 1 * 8], &address, 4);
    memcpy(&image[DIRECTORIES + 1 * 8 + 4], &size, 4);
    refused(image, "data directory 1 lies in or behind the resources");

    // The tree not at the section's start: the bytes before it would be lost.
    image = MakeStub();
    address = SectionAt(image, 1).address + 8;
    memcpy(&image[DIRECTORIES + 2 * 8], &address, 4);
    refused(image, "the resource section holds more than the resources");

    image = MakeStub();
    uint32_t odd = 0x300;
    memcpy(&image[OPTIONAL + 36], &odd, 4);
    refused(image, "not laid out as a linker lays it out");
}

TEST(PeResourceSectionTest, TheChecksumSummedInPiecesIsTheWordByWordOne)
{
    std::mt19937 random(7);
    for (size_t size : {size_t(0x400), size_t(0x401), size_t(70001)}) {
        Bytes file = MakeStub();
        file.resize(size);
        for (size_t i = 0x100; i < size; ++i)
            file[i] = static_cast<uint8_t>(random());
        uint32_t field = 0;
        ASSERT_TRUE(FindChecksumField(file.data(), file.size(), field));
        EXPECT_EQ(OPTIONAL + 64, field);
        const uint32_t expected = ChecksumWordByWord(file, field);
        EXPECT_EQ(expected, ComputePeChecksum(file.data(), file.size(), field)) << size;

        // Pieces of odd lengths, out of order, the field left out.
        CPeChecksum pieces;
        std::vector<std::pair<size_t, size_t>> spans;
        for (size_t at = field + 4, step = 1; at < size; at += step, step = step * 3 % 1001 + 1)
            spans.emplace_back(at, std::min(step, size - at));
        std::shuffle(spans.begin(), spans.end(), random);
        for (const auto& span : spans)
            pieces.Add(span.first, &file[span.first], span.second);
        pieces.Add(0, file.data(), field);
        EXPECT_EQ(expected, pieces.Finish(size)) << size;
    }
}

} // namespace
