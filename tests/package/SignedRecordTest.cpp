// Signed records: the real installer built by kxpack, and payloads that were
// tampered with or malformed after (or before) signing.
#include <gtest/gtest.h>

#include "package/InstallPackage.h"
#include "support/Process.h"
#include "support/TempFolder.h"
#include "support/TestPackage.h"

namespace {

std::wstring SampleInstaller()
{
    return ProgramFolder() + L"\\kestrel-setup.exe";
}

class SignedRecordTest : public ::testing::Test {
protected:
    bool Load(const std::vector<TestRecord>& licenseRecords)
    {
        std::wstring path = m_folder.Path(L"program.exe");
        EXPECT_TRUE(WriteBytes(path, ProgramFile({ContainerBytes(CONTAINER_LICENSE, licenseRecords), CoreContainer()})));
        return m_package.Load(path.c_str());
    }
    // The configuration record's content, unpacked, as text; "<null>" on failure.
    std::wstring UnpackConfig()
    {
        const uint8_t* data = nullptr;
        uint32_t size = 0;
        CSecureBuffer content;
        if (!m_package.m_pLicense->FindRecord(RECORD_CONFIG, &data, &size) ||
            !m_package.m_pLicense->UnpackSigned(RECORD_CONFIG_SIGNATURE, data, size, content))
            return L"<null>";
        return std::wstring(reinterpret_cast<const wchar_t*>(content.Data()), content.Size() / 2);
    }

    CTempFolder m_folder;
    InstallPackage m_package;
};

TEST_F(SignedRecordTest, InstallerBuiltByKxpackVerifiesAndUnpacks)
{
    ASSERT_TRUE(m_package.Load(SampleInstaller().c_str()));
    CDCContainer* license = m_package.m_pLicense;
    TStrStatic<0x200> value;
    const std::pair<const wchar_t*, const wchar_t*> expected[] = {
        {L"company_program=", L"Kestrel Trader"},
        {L"company_program_brief=", L"Kestrel"},
        {L"company_name=", L"Kestrel Markets Ltd."},
        {L"company_link=", L"https://www.example.com/kestrel"},
        {L"file_name_1=", L"terminal.exe"},
        {L"file_name_2=", L"docs\\manual.txt"},
        {L"icon_index_2=", L"0"},
    };
    for (const auto& item : expected) {
        EXPECT_TRUE(license->GetConfigValue(item.first, value)) << item.first;
        EXPECT_STREQ(item.second, value.GetString()) << item.first;
    }
    EXPECT_FALSE(license->GetConfigValue(L"link_name_3=", value));

    CSecureBuffer bitmap;
    ASSERT_TRUE(license->GetBitmapRecord(bitmap));
    ASSERT_GE(bitmap.Size(), 54u);
    EXPECT_EQ('B', bitmap.Data()[0]);
    EXPECT_EQ('M', bitmap.Data()[1]);
    EXPECT_EQ(500, *reinterpret_cast<const int32_t*>(bitmap.Data() + 18));

    const uint8_t* data = nullptr;
    uint32_t size = 0;
    CSecureBuffer licenses;
    ASSERT_TRUE(license->FindRecord(RECORD_LICENSES, &data, &size));
    ASSERT_TRUE(license->UnpackSigned(RECORD_LICENSES_SIGNATURE, data, size, licenses));
    EXPECT_EQ('P', licenses.Data()[0]);
    EXPECT_EQ('K', licenses.Data()[1]);
}

TEST_F(SignedRecordTest, TamperedOrUnsignedRecordsGiveNothing)
{
    ByteVector content = Utf16(MINIMAL_CONFIG);
    auto pair = SignedPair(RECORD_CONFIG, RECORD_CONFIG_SIGNATURE, content);
    ASSERT_TRUE(Load(pair));
    EXPECT_EQ(std::wstring(L"\xFEFF") + MINIMAL_CONFIG, UnpackConfig());

    // One byte changed after signing: the digest no longer matches.
    auto changed = pair;
    changed[0].data.back() ^= 0x01;
    ASSERT_TRUE(Load(changed));
    EXPECT_EQ(L"<null>", UnpackConfig());

    // Signature record missing, or its bytes in the wrong order.
    ASSERT_TRUE(Load({pair[0]}));
    EXPECT_EQ(L"<null>", UnpackConfig());
    auto reversed = pair;
    std::reverse(reversed[1].data.begin(), reversed[1].data.end());
    ASSERT_TRUE(Load(reversed));
    EXPECT_EQ(L"<null>", UnpackConfig());

    // A signature of another record.
    auto swapped = pair;
    swapped[1].data = SignWithTestKey(Utf16(L"something else"));
    ASSERT_TRUE(Load(swapped));
    EXPECT_EQ(L"<null>", UnpackConfig());
}

TEST_F(SignedRecordTest, MalformedPayloadsAreRejectedEvenWhenSigned)
{
    ByteVector content = Utf16(MINIMAL_CONFIG);
    PayloadOptions noMarker;
    noMarker.marker = false;
    PayloadOptions tooSmall;
    tooSmall.declaredSize = static_cast<int64_t>(content.size()) - 1;
    PayloadOptions zero;
    zero.declaredSize = 0;
    for (const PayloadOptions& options : {noMarker, tooSmall, zero}) {
        ASSERT_TRUE(Load(SignedPair(RECORD_CONFIG, RECORD_CONFIG_SIGNATURE, content, options)));
        EXPECT_EQ(L"<null>", UnpackConfig());
    }

    // A larger declared size gives the content with its real size.
    PayloadOptions larger;
    larger.declaredSize = static_cast<int64_t>(content.size()) + 1000;
    ASSERT_TRUE(Load(SignedPair(RECORD_CONFIG, RECORD_CONFIG_SIGNATURE, content, larger)));
    EXPECT_EQ(std::wstring(L"\xFEFF") + MINIMAL_CONFIG, UnpackConfig());
}

TEST_F(SignedRecordTest, ShortPayloadsAreRejectedWithinTheirBuffers)
{
    // Signed and scrambled, but shorter than the trailer, or with a stream
    // shorter than its end marker.
    auto signedRaw = [](ByteVector plain) {
        ScrambleRecord(plain.data(), static_cast<ptrdiff_t>(plain.size()), SIGNATURE_LAYER_KEY);
        return std::vector<TestRecord>{{RECORD_CONFIG, plain}, {RECORD_CONFIG_SIGNATURE, SignWithTestKey(plain)}};
    };
    const ByteVector marker = {0xC2, 0xAC, 0xFA, 0x00};
    ByteVector sevenBytes = {1, 2, 3};
    sevenBytes.insert(sevenBytes.end(), marker.begin(), marker.end());
    ByteVector trailerOnly = {9, 0, 0, 0};
    trailerOnly.insert(trailerOnly.end(), marker.begin(), marker.end());
    ByteVector twoByteStream = {0x00, 0x00, 9, 0, 0, 0};
    twoByteStream.insert(twoByteStream.end(), marker.begin(), marker.end());
    ByteVector oneByte = {0x11};
    for (const auto& plain : {sevenBytes, trailerOnly, twoByteStream, oneByte}) {
        ASSERT_TRUE(Load(signedRaw(plain)));
        EXPECT_EQ(L"<null>", UnpackConfig()) << plain.size() << " bytes";
    }
}

TEST_F(SignedRecordTest, BitmapNeedsItsOwnSignature)
{
    ByteVector bmp = {'B', 'M', 1, 2, 3};
    auto records = SignedPair(RECORD_BITMAP, RECORD_BITMAP_SIGNATURE, bmp);
    ASSERT_TRUE(Load(records));
    CSecureBuffer bitmap;
    ASSERT_TRUE(m_package.m_pLicense->GetBitmapRecord(bitmap));
    EXPECT_EQ(bmp, ByteVector(bitmap.Data(), bitmap.Data() + bitmap.Size()));

    // Signed as the configuration: the bitmap's signature record is missing.
    ASSERT_TRUE(Load(SignedPair(RECORD_BITMAP, RECORD_CONFIG_SIGNATURE, bmp)));
    EXPECT_FALSE(m_package.m_pLicense->GetBitmapRecord(bitmap));
    EXPECT_TRUE(bitmap.IsEmpty());
}

} // namespace
