// The resource tree kxpack lays out anew: what it writes reads back leaf for
// leaf, in the order Windows searches, and a damaged tree is refused.
#include <gtest/gtest.h>

#include "lib/PeResources.h"

namespace {

const uint32_t SECTION_RVA = 0x5000;

ResourceEntry Leaf(ResourceId type, ResourceId name, uint16_t language, const std::string& text,
                   uint32_t codePage = 0)
{
    ResourceEntry entry;
    entry.type = type;
    entry.name = name;
    entry.language = language;
    entry.codePage = codePage;
    entry.data.assign(text.begin(), text.end());
    return entry;
}

// What a stub holds: icons, an icon group, a manifest, a version, strings,
// and data under a name.
std::vector<ResourceEntry> StubLike()
{
    using R = ResourceId;
    return {
        Leaf(R::Number(RESOURCE_TYPE_ICON), R::Number(2), 1033, std::string(741, 'b')),
        Leaf(R::Number(RESOURCE_TYPE_ICON), R::Number(1), 1033, std::string(1000, 'a')),
        Leaf(R::Number(RESOURCE_TYPE_GROUP_ICON), R::Number(101), 1033, "group"),
        Leaf(R::Number(24), R::Number(1), 1033, "<assembly/>", 65001),
        Leaf(R::Number(RESOURCE_TYPE_VERSION), R::Number(1), 1033, "version"),
        Leaf(R::Number(6), R::Number(3), 1033, "strings"),
        Leaf(R::Number(6), R::Number(3), 1031, "Zeichenketten"),
        Leaf(R::Name(u"KXDATA"), R::Name(u"CERT"), 0, "der"),
        Leaf(R::Number(RESOURCE_TYPE_RCDATA), R::Name(u"PACKAGE"), 0, ""),
    };
}

bool SameLeaf(const ResourceEntry& a, const ResourceEntry& b)
{
    return a.type == b.type && a.name == b.name && a.language == b.language && a.codePage == b.codePage &&
           a.data == b.data;
}

TEST(PeResourcesTest, WhatIsWrittenReadsBackInDirectoryOrder)
{
    std::vector<ResourceEntry> leaves = StubLike();
    Bytes section = WriteResourceTree(leaves, SECTION_RVA);
    std::vector<ResourceEntry> read;
    std::string error;
    ASSERT_TRUE(ReadResourceTree(section, SECTION_RVA, 0, read, error)) << error;
    ASSERT_EQ(leaves.size(), read.size());
    // Names before numbers, each ascending: the order the loader's binary
    // search needs.
    for (size_t i = 1; i < read.size(); ++i) {
        const ResourceEntry& a = read[i - 1];
        const ResourceEntry& b = read[i];
        bool ordered = a.type < b.type || (a.type == b.type && (a.name < b.name ||
                                                                 (a.name == b.name && a.language < b.language)));
        EXPECT_TRUE(ordered) << i;
    }
    EXPECT_TRUE(read[0].type.named);
    for (const ResourceEntry& leaf : leaves) {
        bool found = false;
        for (const ResourceEntry& back : read)
            found = found || SameLeaf(leaf, back);
        EXPECT_TRUE(found) << leaf.data.size();
    }
    // The same leaves in another order make the same bytes.
    std::vector<ResourceEntry> reversed(leaves.rbegin(), leaves.rend());
    EXPECT_EQ(section, WriteResourceTree(reversed, SECTION_RVA));
    // Laid out for another address, only the addresses change.
    Bytes moved = WriteResourceTree(leaves, SECTION_RVA + 0x1000);
    ASSERT_TRUE(ReadResourceTree(moved, SECTION_RVA + 0x1000, 0, read, error)) << error;
    EXPECT_EQ(leaves.size(), read.size());
    EXPECT_FALSE(ReadResourceTree(moved, SECTION_RVA + 0x2000, 0, read, error)) << "data beyond the section";
}

TEST(PeResourcesTest, LeavesAreReplacedAddedAndRemoved)
{
    std::vector<ResourceEntry> leaves = StubLike();
    SetResource(leaves, Leaf(ResourceId::Number(RESOURCE_TYPE_VERSION), ResourceId::Number(1), 1033, "2.4.1"));
    SetResource(leaves, Leaf(ResourceId::Number(RESOURCE_TYPE_VERSION), ResourceId::Number(1), 1031, "2.4.1 de"));
    EXPECT_EQ(StubLike().size() + 1, leaves.size());
    ResourceId icons = ResourceId::Number(RESOURCE_TYPE_ICON);
    EXPECT_EQ(2u, RemoveResources(leaves, icons));
    ResourceId cert = ResourceId::Name(u"CERT");
    EXPECT_EQ(1u, RemoveResources(leaves, ResourceId::Name(u"KXDATA"), &cert));
    std::vector<ResourceEntry> read;
    std::string error;
    ASSERT_TRUE(ReadResourceTree(WriteResourceTree(leaves, SECTION_RVA), SECTION_RVA, 0, read, error)) << error;
    EXPECT_EQ(leaves.size(), read.size());
    for (const ResourceEntry& back : read) {
        EXPECT_FALSE(back.type == icons);
        if (back.type == ResourceId::Number(RESOURCE_TYPE_VERSION))
            EXPECT_EQ(back.language == 1033 ? "2.4.1" : "2.4.1 de", std::string(back.data.begin(), back.data.end()));
    }
}

// A tree of one leaf, to damage.
Bytes OneLeaf()
{
    return WriteResourceTree({Leaf(ResourceId::Number(RESOURCE_TYPE_RCDATA), ResourceId::Number(1), 0, "x")},
                             SECTION_RVA);
}

void Put32(Bytes& bytes, size_t at, uint32_t value)
{
    for (int i = 0; i < 4; ++i)
        bytes[at + i] = static_cast<uint8_t>(value >> (8 * i));
}

TEST(PeResourcesTest, DamagedTreesAreRefused)
{
    // The layout of one leaf: three directories of one entry (24 bytes
    // each), the data entry at 72, the data at 88.
    std::vector<ResourceEntry> read;
    std::string error;
    ASSERT_TRUE(ReadResourceTree(OneLeaf(), SECTION_RVA, 0, read, error)) << error;

    const struct {
        const char* what;
        size_t at;
        uint32_t value;
        const char* reason;
    } damages[] = {
        {"a directory pointing to itself", 20, 0x80000000u, "loops"},
        {"a subdirectory beyond the section", 20, 0x80001000u, "outside"},
        {"an entry count beyond the section", 14, 0x0FFF, "outside"},
        {"a leaf at the type level", 20, 72, "above the language level"},
        {"a directory at the language level", 68, 0x80000000u | 24, "deeper"},
        {"data beyond the section", 76, 0x1000, "outside"},
        {"data before the section", 72, SECTION_RVA - 8, "outside"},
        {"a name beyond the section", 16, 0x80001000u, "outside"},
        {"a number past 65535", 16, 0x10000, "larger than 65535"},
    };
    for (const auto& damage : damages) {
        Bytes tree = OneLeaf();
        Put32(tree, damage.at, damage.value);
        EXPECT_FALSE(ReadResourceTree(tree, SECTION_RVA, 0, read, error)) << damage.what;
        EXPECT_NE(std::string::npos, error.find(damage.reason)) << damage.what << ": " << error;
    }
    Bytes cut = OneLeaf();
    cut.resize(40);
    EXPECT_FALSE(ReadResourceTree(cut, SECTION_RVA, 0, read, error));
    EXPECT_FALSE(ReadResourceTree(OneLeaf(), SECTION_RVA, 4096, read, error));
}

} // namespace
