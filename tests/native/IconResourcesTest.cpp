// The installer's icon: .ico files read and held to what Windows XP can
// draw, and put among the stub's resources as an icon group that Windows
// finds, without losing the uninstaller's icon.
#include <gtest/gtest.h>

#include "lib/FileIo.h"
#include "lib/IconResources.h"

namespace {

void Append16(Bytes& out, uint16_t value)
{
    out.push_back(static_cast<uint8_t>(value));
    out.push_back(static_cast<uint8_t>(value >> 8));
}

void AppendBig32(Bytes& out, uint32_t value)
{
    for (int shift = 24; shift >= 0; shift -= 8)
        out.push_back(static_cast<uint8_t>(value >> shift));
}

// Writes the low `size` bytes of `value` at `at`, little-endian.
void Patch(Bytes& bytes, size_t at, uint32_t value, size_t size)
{
    for (size_t i = 0; i < size; ++i)
        bytes[at + i] = static_cast<uint8_t>(value >> (8 * i));
}

struct Damage {
    const char* what;
    size_t at;
    uint32_t value;
    size_t size;
    const char* reason;
};

// A bitmap icon image: header, palette, colour rows and mask rows, each
// row padded to 4 bytes; filled with a pattern so images differ.
Bytes Bitmap(unsigned width, unsigned height, uint16_t bitCount)
{
    Bytes out;
    AppendU32(out, 40);
    AppendU32(out, width);
    AppendU32(out, 2 * height);
    Append16(out, 1);
    Append16(out, bitCount);
    for (int i = 0; i < 6; ++i)
        AppendU32(out, 0);
    size_t palette = bitCount <= 8 ? (size_t(1) << bitCount) * 4 : 0;
    size_t rows = ((width * bitCount + 31) / 32 * 4 + (width + 31) / 32 * 4) * height;
    for (size_t i = 0; i < palette + rows; ++i)
        out.push_back(static_cast<uint8_t>(i * 7 + width + bitCount));
    return out;
}

// The start of an RGBA PNG: signature and IHDR chunk (its CRC left 0: only
// the header is read).
Bytes Png(unsigned width, unsigned height)
{
    Bytes out = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n', 0, 0, 0, 13, 'I', 'H', 'D', 'R'};
    AppendBig32(out, width);
    AppendBig32(out, height);
    out.insert(out.end(), {8, 6, 0, 0, 0, 0, 0, 0, 0});
    return out;
}

struct TestImage {
    unsigned width, height;
    Bytes data;
};

TestImage Image(unsigned size, uint16_t bitCount = 32)
{
    return {size, size, Bitmap(size, size, bitCount)};
}

// An .ico file of the images, in order, right after the directory.
Bytes IcoFile(const std::vector<TestImage>& images)
{
    Bytes out;
    Append16(out, 0);
    Append16(out, 1);
    Append16(out, static_cast<uint16_t>(images.size()));
    uint32_t offset = 6 + 16 * uint32_t(images.size());
    for (const TestImage& image : images) {
        out.push_back(static_cast<uint8_t>(image.width & 0xFF));
        out.push_back(static_cast<uint8_t>(image.height & 0xFF));
        out.push_back(0);
        out.push_back(0);
        Append16(out, 1);
        Append16(out, 32);
        AppendU32(out, static_cast<uint32_t>(image.data.size()));
        AppendU32(out, offset);
        offset += static_cast<uint32_t>(image.data.size());
    }
    for (const TestImage& image : images)
        out.insert(out.end(), image.data.begin(), image.data.end());
    return out;
}

std::vector<TestImage> Usual()
{
    return {Image(16), Image(32), Image(48), {256, 256, Png(256, 256)}};
}

IconFile IconOf(const std::vector<TestImage>& images)
{
    IconFile icon;
    std::string error;
    EXPECT_TRUE(ReadInstallerIcon(IcoFile(images), icon, error)) << error;
    return icon;
}

TEST(IconResourcesTest, ReadsBitmapsAndA256Png)
{
    std::vector<TestImage> images = {Image(48), Image(16, 8), {24, 32, Bitmap(24, 32, 4)},
                                     Image(16), {256, 256, Png(256, 256)}, Image(32)};
    IconFile icon;
    std::string error;
    ASSERT_TRUE(ReadInstallerIcon(IcoFile(images), icon, error)) << error;
    ASSERT_EQ(images.size(), icon.images.size());
    for (size_t i = 0; i < images.size(); ++i) {
        EXPECT_EQ(images[i].width, icon.images[i].info.width) << i;
        EXPECT_EQ(images[i].height, icon.images[i].info.height) << i;
        EXPECT_EQ(images[i].data, icon.images[i].data) << i;
        EXPECT_EQ(images[i].data.size(), icon.images[i].info.bytes) << i;
    }
    EXPECT_EQ(8u, icon.images[1].info.bitCount);
    EXPECT_EQ(4u, icon.images[2].info.bitCount);
    EXPECT_TRUE(icon.images[4].info.png);
    EXPECT_EQ(32u, icon.images[4].info.bitCount);

    // Two 16s: every image says its depth.
    EXPECT_EQ("16 (8-bit), 16 (32-bit), 24 x 32 (4-bit), 32 (32-bit), 48 (32-bit), 256 (PNG) pixels",
              IconSizesText(IconImageInfos(icon)));
    EXPECT_EQ("16, 32, 48, 256 (PNG) pixels", IconSizesText(IconImageInfos(IconOf(Usual()))));
    EXPECT_EQ("16, 32, 48, 256 pixels",
              IconSizesText(IconImageInfos(IconOf({Image(256, 24), Image(48), Image(32, 4), Image(16, 1)}))));
}

TEST(IconResourcesTest, SampleIconHasTheSizesAnInstallerNeeds)
{
    Bytes file;
    std::string error;
    ASSERT_TRUE(ReadWholeFile(std::string(KX_SAMPLE_DIR) + "/setup.ico", file, error))
        << error;
    IconFile icon;
    ASSERT_TRUE(ReadInstallerIcon(file, icon, error)) << error;
    EXPECT_EQ("16, 32, 48, 256 (PNG) pixels", IconSizesText(IconImageInfos(icon)));
    for (const IconImage& image : icon.images)
        EXPECT_EQ(32u, image.info.bitCount) << image.info.width;
}

TEST(IconResourcesTest, RefusesIconsWindowsXpCannotShow)
{
    IconFile icon;
    std::string error;
    EXPECT_FALSE(ReadInstallerIcon(IcoFile({Image(16), Image(32), Image(64)}), icon, error));
    EXPECT_EQ("no 48 x 48 image (an installer icon needs 16, 32 and 48)", error);
    EXPECT_FALSE(ReadInstallerIcon(IcoFile({Image(32), {48, 16, Bitmap(48, 16, 32)}}), icon, error));
    EXPECT_EQ("no 16 x 16 or 48 x 48 image (an installer icon needs 16, 32 and 48)", error);

    // A PNG at 32 is a well-formed icon, but not one XP can draw.
    std::vector<TestImage> png32 = {Image(16), {32, 32, Png(32, 32)}, Image(48)};
    ASSERT_TRUE(ParseIconFile(IcoFile(png32), icon, error)) << error;
    EXPECT_FALSE(ReadInstallerIcon(IcoFile(png32), icon, error));
    EXPECT_NE(std::string::npos, error.find("the 32 x 32 image is a PNG")) << error;
    EXPECT_NE(std::string::npos, error.find("Windows XP")) << error;
}

TEST(IconResourcesTest, RefusesDamagedFiles)
{
    const Bytes good = IcoFile(Usual());
    // The 32 x 32 image's directory entry, and its bitmap header.
    const size_t entry = 6 + 16, bitmap = 6 + 16 * 4 + Image(16).data.size();
    const Damage damages[] = {
        {"an image past the end", entry + 12, uint32_t(good.size() - 100), 4, "runs past the end of the file"},
        {"an image inside the directory", entry + 12, 20, 4, "inside the icon's directory"},
        {"an image of no bytes", entry + 8, 0, 4, "has no bytes"},
        {"a bitmap height not doubled", bitmap + 8, 32, 4, "twice the icon's height"},
        {"a bitmap width not the directory's", bitmap + 4, 48, 4, "48 pixels wide"},
        {"16 bits per pixel", bitmap + 14, 16, 2, "bits per pixel"},
        {"a compressed bitmap", bitmap + 16, 1, 4, "compressed"},
        {"two planes", bitmap + 12, 2, 2, "colour planes"},
        {"a header that is no bitmap's", bitmap, 108, 4, "neither a bitmap"},
        {"a palette with no room for it", bitmap + 32, 256, 4, "is cut short"},
        {"a cursor", 2, 2, 2, "cursor"},
        {"no icon directory", 0, 1, 2, "not an icon file"},
        {"no images", 4, 0, 2, "no images"},
        {"an absurd count", 4, 1000, 2, "at most 64"},
    };
    IconFile icon;
    std::string error;
    for (const Damage& damage : damages) {
        Bytes file = good;
        Patch(file, damage.at, damage.value, damage.size);
        EXPECT_FALSE(ParseIconFile(file, icon, error)) << damage.what;
        EXPECT_NE(std::string::npos, error.find(damage.reason)) << damage.what << ": " << error;
    }

    // Cut short: inside an image, inside the directory, before it.
    Bytes cut(good.begin(), good.end() - 1);
    EXPECT_FALSE(ParseIconFile(cut, icon, error));
    EXPECT_NE(std::string::npos, error.find("image 4 (256 x 256) runs past the end")) << error;
    EXPECT_FALSE(ParseIconFile(Bytes(good.begin(), good.begin() + 30), icon, error));
    EXPECT_NE(std::string::npos, error.find("its directory of 4 images needs 70 bytes")) << error;
    EXPECT_FALSE(ParseIconFile(Bytes(good.begin(), good.begin() + 4), icon, error));

    // A bitmap whose rows do not all fit its bytes, though the file is whole.
    std::vector<TestImage> short48 = Usual();
    short48[2].data.resize(short48[2].data.size() - 4);
    EXPECT_FALSE(ParseIconFile(IcoFile(short48), icon, error));
    EXPECT_NE(std::string::npos, error.find("image 3 (48 x 48) is cut short")) << error;

    // A PNG of another size than its entry says.
    std::vector<TestImage> png = Usual();
    png[3].data = Png(128, 128);
    EXPECT_FALSE(ParseIconFile(IcoFile(png), icon, error));
    EXPECT_NE(std::string::npos, error.find("128 x 128 PNG")) << error;
}

// The images an icon group lists, with their RT_ICON numbers.
std::vector<uint16_t> GroupIds(const std::vector<ResourceEntry>& entries, uint16_t group)
{
    IconGroupInfo info;
    std::string error;
    EXPECT_TRUE(ReadIconGroup(entries, group, info, error)) << error;
    return info.iconIds;
}

ResourceEntry Leaf(uint16_t type, uint16_t name, uint16_t language, const Bytes& data)
{
    ResourceEntry entry;
    entry.type = ResourceId::Number(type);
    entry.name = ResourceId::Number(name);
    entry.language = language;
    entry.data = data;
    return entry;
}

// The stub as linked: groups 23 and 33, three icons each, in U.S. English,
// and a string table.
std::vector<ResourceEntry> StubResources()
{
    std::vector<ResourceEntry> entries;
    std::string error;
    EXPECT_TRUE(SetIconGroup(entries, INSTALLER_ICON_GROUP, 1033, IconOf({Image(16), Image(32), Image(48)}), error));
    EXPECT_TRUE(
        SetIconGroup(entries, UNINSTALLER_ICON_GROUP, 1033, IconOf({Image(16, 8), Image(32, 8), Image(48, 8)}), error));
    entries.push_back(Leaf(6, 2, 1033, {'s'}));
    return entries;
}

// Where group `group`'s (first) leaf is.
size_t GroupLeaf(const std::vector<ResourceEntry>& entries, uint16_t group)
{
    for (size_t i = 0; i < entries.size(); ++i)
        if (entries[i].type == ResourceId::Number(RESOURCE_TYPE_GROUP_ICON) && entries[i].name.number == group)
            return i;
    ADD_FAILURE() << "no icon group " << group;
    return 0;
}

size_t CountIcons(const std::vector<ResourceEntry>& entries)
{
    size_t count = 0;
    for (const ResourceEntry& entry : entries)
        count += entry.type == ResourceId::Number(RESOURCE_TYPE_ICON) ? 1 : 0;
    return count;
}

TEST(IconResourcesTest, ReplacingTheInstallersIconKeepsTheUninstallers)
{
    std::vector<ResourceEntry> entries = StubResources();
    EXPECT_EQ((std::vector<uint16_t>{1, 2, 3}), GroupIds(entries, INSTALLER_ICON_GROUP));
    EXPECT_EQ((std::vector<uint16_t>{4, 5, 6}), GroupIds(entries, UNINSTALLER_ICON_GROUP));

    // Four images for three: the old numbers first, then the lowest free.
    IconFile icon = IconOf(Usual());
    std::string error;
    ASSERT_TRUE(SetIconGroup(entries, INSTALLER_ICON_GROUP, 0, icon, error)) << error;
    EXPECT_EQ((std::vector<uint16_t>{1, 2, 3, 7}), GroupIds(entries, INSTALLER_ICON_GROUP));
    EXPECT_EQ((std::vector<uint16_t>{4, 5, 6}), GroupIds(entries, UNINSTALLER_ICON_GROUP));
    EXPECT_EQ(7u, CountIcons(entries));

    // Through a resource section and back, as the stub is rewritten.
    std::vector<ResourceEntry> read;
    ASSERT_TRUE(ReadResourceTree(WriteResourceTree(entries, 0x9000), 0x9000, 0, read, error)) << error;
    IconGroupInfo info;
    ASSERT_TRUE(ReadIconGroup(read, INSTALLER_ICON_GROUP, info, error)) << error;
    EXPECT_EQ(1033u, info.language) << "the old group's language, not the one asked for";
    EXPECT_EQ("16, 32, 48, 256 (PNG) pixels", IconSizesText(info.images));
    for (size_t i = 0; i < icon.images.size(); ++i) {
        EXPECT_EQ(icon.images[i].data.size(), info.images[i].bytes);
        for (const ResourceEntry& entry : read)
            if (entry.type == ResourceId::Number(RESOURCE_TYPE_ICON) && entry.name.number == info.iconIds[i])
                EXPECT_EQ(icon.images[i].data, entry.data) << i;
    }
    ASSERT_TRUE(ReadIconGroup(read, UNINSTALLER_ICON_GROUP, info, error)) << error;
    EXPECT_EQ("16, 32, 48 pixels", IconSizesText(info.images));
    EXPECT_EQ(8u, info.images[0].bitCount);

    // Back to three images: number 7 is free again, and the same input
    // gives the same resources.
    std::vector<ResourceEntry> again = StubResources();
    ASSERT_TRUE(SetIconGroup(read, INSTALLER_ICON_GROUP, 0, IconOf({Image(16), Image(32), Image(48)}), error));
    EXPECT_EQ(6u, CountIcons(read));
    EXPECT_EQ(WriteResourceTree(again, 0x9000), WriteResourceTree(read, 0x9000));
}

TEST(IconResourcesTest, IconsAnotherGroupListsStay)
{
    // Group 40 lists icon 2 of group 23; icon 9 is in no group.
    std::vector<ResourceEntry> entries = StubResources();
    Bytes shared = {0, 0, 1, 0, 1, 0, 32, 32, 0, 0};
    Append16(shared, 1);
    Append16(shared, 32);
    AppendU32(shared, static_cast<uint32_t>(Image(32).data.size()));
    Append16(shared, 2);
    entries.push_back(Leaf(RESOURCE_TYPE_GROUP_ICON, 40, 1033, shared));
    entries.push_back(Leaf(RESOURCE_TYPE_ICON, 9, 1033, Image(16).data));
    EXPECT_EQ((std::vector<uint16_t>{2}), GroupIds(entries, 40));

    std::string error;
    ASSERT_TRUE(SetIconGroup(entries, INSTALLER_ICON_GROUP, 1033, IconOf({Image(16), Image(32), Image(48)}), error));
    EXPECT_EQ((std::vector<uint16_t>{1, 3, 7}), GroupIds(entries, INSTALLER_ICON_GROUP));
    EXPECT_EQ((std::vector<uint16_t>{2}), GroupIds(entries, 40));
    EXPECT_EQ(8u, CountIcons(entries));

    // A new group, in the language asked for, around the numbers taken.
    ASSERT_TRUE(SetIconGroup(entries, 50, 0, IconOf(Usual()), error));
    IconGroupInfo info;
    ASSERT_TRUE(ReadIconGroup(entries, 50, info, error)) << error;
    EXPECT_EQ(0u, info.language);
    EXPECT_EQ((std::vector<uint16_t>{8, 10, 11, 12}), info.iconIds);

    // Group 23 in two languages: both go, one comes, in the lower.
    entries = StubResources();
    Bytes group23 = entries[GroupLeaf(entries, INSTALLER_ICON_GROUP)].data;
    entries.push_back(Leaf(RESOURCE_TYPE_GROUP_ICON, INSTALLER_ICON_GROUP, 1031, group23));
    ASSERT_TRUE(SetIconGroup(entries, INSTALLER_ICON_GROUP, 0, IconOf(Usual()), error));
    ASSERT_TRUE(ReadIconGroup(entries, INSTALLER_ICON_GROUP, info, error)) << error;
    EXPECT_EQ(1031u, info.language);
    size_t groups = 0;
    for (const ResourceEntry& entry : entries)
        groups += entry.type == ResourceId::Number(RESOURCE_TYPE_GROUP_ICON) ? 1 : 0;
    EXPECT_EQ(2u, groups);
}

TEST(IconResourcesTest, GroupsThatDoNotMatchTheirIconsAreRefused)
{
    std::string error;
    IconGroupInfo info;
    std::vector<ResourceEntry> entries = StubResources();
    EXPECT_FALSE(ReadIconGroup(entries, 24, info, error));
    EXPECT_EQ("there is no icon group 24", error);

    // In group 23's leaf, a 6-byte header, then 14 bytes an image; the
    // second image (icon 2) starts at 20.
    const Damage damages[] = {
        {"a missing icon", 20 + 12, 99, 2, "lists icon 99, which is not among the resources"},
        {"another byte count", 20 + 8, 100, 4, "gives icon 2 as 100 bytes"},
        {"more images than bytes", 4, 9, 2, "lists 9 images"},
        {"not an icon group", 2, 2, 2, "does not begin as an icon group"},
    };
    for (const Damage& damage : damages) {
        std::vector<ResourceEntry> damaged = entries;
        Patch(damaged[GroupLeaf(damaged, INSTALLER_ICON_GROUP)].data, damage.at, damage.value, damage.size);
        EXPECT_FALSE(ReadIconGroup(damaged, INSTALLER_ICON_GROUP, info, error)) << damage.what;
        EXPECT_NE(std::string::npos, error.find(damage.reason)) << damage.what << ": " << error;
        // Replacing a group that cannot be read would lose track of its icons.
        if (damage.at < 6) {
            EXPECT_FALSE(SetIconGroup(damaged, INSTALLER_ICON_GROUP, 0, IconOf(Usual()), error)) << damage.what;
            EXPECT_NE(std::string::npos, error.find("icon group 23")) << error;
        }
    }

    EXPECT_FALSE(SetIconGroup(entries, INSTALLER_ICON_GROUP, 0, IconFile(), error));
    EXPECT_EQ(StubResources().size(), entries.size()) << "a refused icon changes nothing";
}

} // namespace
