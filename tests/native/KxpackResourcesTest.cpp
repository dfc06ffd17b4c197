// What kxpack build writes into the installer's image: the package
// certificate of the key, the product's icon and its version information;
// everything else of the stub as it was, the same bytes on every build, and
// a checksum that adds up.
#include <gtest/gtest.h>

#include "KxpackFixture.h"
#include "lib/ByteSource.h"
#include "lib/IconResources.h"
#include "lib/InstallerResources.h"
#include "lib/PeChecksum.h"
#include "lib/PeImage.h"
#include "lib/PeResourceSection.h"
#include "lib/VersionResource.h"

namespace {

class KxpackResourcesTest : public KxpackCliTest {
protected:
    // The resources of an installer's image.
    std::vector<ResourceEntry> ResourcesOf(const std::string& path)
    {
        Bytes file = ReadBytes(path);
        ImageLayout layout;
        std::vector<ResourceEntry> entries;
        std::string error;
        EXPECT_TRUE(ReadImageLayout(file, layout, error)) << error;
        EXPECT_TRUE(ReadImageResources(CMemorySource(file), layout.end, entries, error)) << error;
        return entries;
    }

    static const ResourceEntry* Find(const std::vector<ResourceEntry>& entries, const ResourceId& type,
                                     const ResourceId& name)
    {
        for (const ResourceEntry& entry : entries)
            if (entry.type == type && entry.name == name)
                return &entry;
        return nullptr;
    }

    const std::string m_sampleIcon = std::string(KX_SAMPLE_DIR) + "/setup.ico";
};

TEST_F(KxpackResourcesTest, CertificateIconAndVersionGoIntoTheImage)
{
    WriteBytes(m_dir / "product/setup.ico", ReadBytes(m_sampleIcon));
    WriteText(m_dir / "product/setup.cfg", std::string(CONFIG) + "product_version=2.4.1.7\n");
    ToolResult build = Build();
    ASSERT_EQ(0, build.exitCode) << build.err;
    EXPECT_NE(std::string::npos, build.err.find("setup.ico: 16, 32, 48, 256 (PNG) pixels")) << build.err;

    const std::vector<ResourceEntry> stub = ResourcesOf(m_dir / "setup.exe"), out = ResourcesOf(m_dir / "out.exe");
    const ResourceEntry* certificate =
        Find(out, ResourceId::Number(RESOURCE_TYPE_RCDATA), ResourceId::Number(40));
    ASSERT_NE(nullptr, certificate);
    EXPECT_EQ(ReadBytes(*s_keys / "main/package-cert.der"), certificate->data);
    EXPECT_EQ(0, certificate->language);

    // The group lists the icon file's images, byte for byte.
    IconFile icon;
    std::string error;
    ASSERT_TRUE(ReadInstallerIcon(ReadBytes(m_sampleIcon), icon, error)) << error;
    IconGroupInfo group;
    ASSERT_TRUE(ReadIconGroup(out, INSTALLER_ICON_GROUP, group, error)) << error;
    ASSERT_EQ(icon.images.size(), group.iconIds.size());
    for (size_t i = 0; i < icon.images.size(); ++i) {
        const ResourceEntry* image =
            Find(out, ResourceId::Number(RESOURCE_TYPE_ICON), ResourceId::Number(group.iconIds[i]));
        ASSERT_NE(nullptr, image) << i;
        EXPECT_EQ(icon.images[i].data, image->data) << i;
    }
    // The stub's own text stays; its one icon went with the group that listed it.
    const ResourceEntry* text = Find(out, ResourceId::Name(u"LNG"), ResourceId::Number(9));
    ASSERT_NE(nullptr, text);
    EXPECT_EQ(Find(stub, ResourceId::Name(u"LNG"), ResourceId::Number(9))->data, text->data);
    size_t icons = 0;
    for (const ResourceEntry& entry : out)
        icons += entry.type == ResourceId::Number(RESOURCE_TYPE_ICON);
    EXPECT_EQ(icon.images.size(), icons);

    const ResourceEntry* version = Find(out, ResourceId::Number(RESOURCE_TYPE_VERSION), ResourceId::Number(1));
    ASSERT_NE(nullptr, version);
    VersionInfo info;
    ASSERT_TRUE(ReadVersionResource(version->data, info, error)) << error;
    EXPECT_EQ((VersionNumbers{2, 4, 1, 7}), info.fileVersion);
    EXPECT_EQ((VersionNumbers{2, 4, 1, 7}), info.productVersion);
    const std::vector<std::pair<std::u16string, std::u16string>> strings = {
        {u"CompanyName", u"Test Company"}, {u"FileDescription", u"Test Product Setup"},
        {u"FileVersion", u"2.4.1.7"},      {u"ProductName", u"Test Product"},
        {u"ProductVersion", u"2.4.1.7"}};
    EXPECT_EQ(strings, info.strings);

    // inspect shows all three.
    ToolResult inspect = RunKxpack({"inspect", m_dir / "out.exe"});
    EXPECT_EQ(0, inspect.exitCode) << inspect.out;
    for (const char* expected : {"(in the image's resources)", "icon:         16, 32, 48, 256 (PNG) pixels",
                                 "version:      file 2.4.1.7, product 2.4.1.7",
                                 "  FileDescription  Test Product Setup\n"})
        EXPECT_NE(std::string::npos, inspect.out.find(expected)) << expected << "\n" << inspect.out;
    ToolResult json = RunKxpack({"inspect", "--json", m_dir / "out.exe"});
    EXPECT_NE(std::string::npos, json.out.find("\"ProductVersion\": \"2.4.1.7\"")) << json.out;

    // The same inputs, the same bytes; and the checksum is the file's.
    Bytes first = ReadBytes(m_dir / "out.exe");
    ASSERT_EQ(0, Build().exitCode);
    Bytes second = ReadBytes(m_dir / "out.exe");
    EXPECT_EQ(first, second);
    uint32_t field = 0;
    ASSERT_TRUE(FindChecksumField(second.data(), second.size(), field));
    EXPECT_NE(0u, ReadU32(&second[field]));
    EXPECT_EQ(ComputePeChecksum(second.data(), second.size(), field), ReadU32(&second[field]));
}

TEST_F(KxpackResourcesTest, WithoutAnIconTheStubsIconStaysAndTheVersionDefaults)
{
    ToolResult build = Build();
    ASSERT_EQ(0, build.exitCode) << build.err;
    const std::vector<ResourceEntry> stub = ResourcesOf(m_dir / "setup.exe"), out = ResourcesOf(m_dir / "out.exe");
    for (uint16_t type : {RESOURCE_TYPE_ICON, RESOURCE_TYPE_GROUP_ICON})
        for (const ResourceEntry& entry : stub)
            if (entry.type == ResourceId::Number(type)) {
                const ResourceEntry* kept = Find(out, entry.type, entry.name);
                ASSERT_NE(nullptr, kept);
                EXPECT_EQ(entry.data, kept->data);
            }
    ToolResult inspect = RunKxpack({"inspect", m_dir / "out.exe"});
    EXPECT_NE(std::string::npos, inspect.out.find("version:      file 5.0.0.0, product 5.0.0.0")) << inspect.out;
    EXPECT_NE(std::string::npos, inspect.out.find("  ProductVersion   5.00\n")) << inspect.out;

    // An installer taken as stub, built with another key: one certificate,
    // the new one.
    WriteBytes(m_dir / "setup.exe", ReadBytes(m_dir / "out.exe"));
    build = Build({}, "other");
    ASSERT_EQ(0, build.exitCode) << build.err;
    size_t certificates = 0;
    for (const ResourceEntry& entry : ResourcesOf(m_dir / "out.exe"))
        if (entry.type == ResourceId::Number(RESOURCE_TYPE_RCDATA) && entry.name == ResourceId::Number(40)) {
            ++certificates;
            EXPECT_EQ(ReadBytes(*s_keys / "other/package-cert.der"), entry.data);
        }
    EXPECT_EQ(1u, certificates);
}

TEST_F(KxpackResourcesTest, AnIconAnInstallerCannotShowIsRefused)
{
    // --icon wins over the product's own, and is checked before any work.
    WriteBytes(m_dir / "product/setup.ico", ReadBytes(m_sampleIcon));
    WriteText(m_dir / "bad.ico", "not an icon at all");
    ExpectBuildFails("bad.ico: ", {"--icon", m_dir / "bad.ico"});
    ExpectBuildFails("missing.ico: No such file or directory", {"--icon", m_dir / "missing.ico"});

    // The sample's icon without its 48 pixel image.
    Bytes ico = ReadBytes(m_sampleIcon);
    IconFile icon;
    std::string error;
    ASSERT_TRUE(ReadInstallerIcon(ico, icon, error)) << error;
    uint16_t count = ReadU16(&ico[4]);
    for (uint16_t i = 0; i < count; ++i)
        if (ico[6 + i * 16] == 48)
            ico[6 + i * 16] = ico[6 + i * 16 + 1] = 40; // and the bitmap says 48: damaged too
    WriteBytes(m_dir / "product/setup.ico", ico);
    ToolResult build = Build();
    EXPECT_EQ(1, build.exitCode);
    EXPECT_NE(std::string::npos, build.err.find("product/setup.ico: ")) << build.err;
}

} // namespace
