// Lookups in the setup configuration, table-driven over configuration texts.
#include <gtest/gtest.h>

#include "package/InstallPackage.h"
#include "support/TempFolder.h"
#include "support/TestPackage.h"

namespace {

struct ConfigCase {
    const char* what;
    std::wstring text;
    const wchar_t* key;
    bool found;
    const wchar_t* value;
};

class SetupConfigTest : public ::testing::Test {
protected:
    bool LoadConfig(const ByteVector& content)
    {
        std::wstring path = m_folder.Path(L"program.exe");
        EXPECT_TRUE(WriteBytes(path, ProgramFile({ContainerBytes(CONTAINER_LICENSE, SignedPair(RECORD_CONFIG, RECORD_CONFIG_SIGNATURE, content)), CoreContainer()})));
        return m_package.Load(path.c_str());
    }

    CTempFolder m_folder;
    InstallPackage m_package;
};

TEST_F(SetupConfigTest, LookupRules)
{
    const ConfigCase cases[] = {
        {"plain", L"a=1\r\ncompany_name=Acme\r\n", L"company_name=", true, L"Acme"},
        {"quotes removed", L"company_name=\"Acme Ltd\"\r\n", L"company_name=", true, L"Acme Ltd"},
        {"opening quote only", L"company_name=\"Acme\r\n", L"company_name=", true, L"Acme"},
        {"quotes inside stay", L"company_name=A \"B\" C\r\n", L"company_name=", true, L"A \"B\" C"},
        {"lone quote: empty, found", L"company_name=\"\r\n", L"company_name=", true, L""},
        {"empty value passed over", L"company_link=\r\nx=1\r\ncompany_link=http://b\r\n", L"company_link=", true, L"http://b"},
        {"only empty values", L"company_link=\r\ncompany_link=\r\n", L"company_link=", false, L""},
        {"leading blank", L" company_name=Acme\r\n", L"company_name=", false, L""},
        {"other letter case", L"Company_Name=Acme\r\n", L"company_name=", false, L""},
        {"not at line start", L"xcompany_name=Acme\r\n", L"company_name=", false, L""},
        {"blank before equals", L"company_name =Acme\r\n", L"company_name=", false, L""},
        {"LF and blank lines", L"\n\n\ncompany_name=Acme\n\n", L"company_name=", true, L"Acme"},
        {"CR only", L"a=1\rcompany_name=Acme\r", L"company_name=", true, L"Acme"},
        {"no final line break loses a character", L"company_name=Acme", L"company_name=", true, L"Acm"},
        {"first non-empty wins", L"k=first\r\nk=second\r\n", L"k=", true, L"first"},
        {"value holds equals signs", L"k=a=b\r\n", L"k=", true, L"a=b"},
    };
    for (const auto& c : cases) {
        ASSERT_TRUE(LoadConfig(Utf16(c.text))) << c.what;
        TStrStatic<0x100> value(L"previous");
        EXPECT_EQ(c.found, m_package.m_pLicense->GetConfigValue(c.key, value)) << c.what;
        EXPECT_STREQ(c.value, value.GetString()) << c.what;
    }
}

TEST_F(SetupConfigTest, ValueIsCutToCapacity)
{
    std::wstring longName(600, L'n');
    ASSERT_TRUE(LoadConfig(Utf16(L"company_program=" + longName + L"\r\n")));
    TStrStatic<0x200> program;
    TStrStatic<0x100> brief;
    ASSERT_TRUE(m_package.m_pLicense->GetConfigValue(L"company_program=", program));
    EXPECT_EQ(511u, program.GetLength());
    ASSERT_TRUE(m_package.m_pLicense->GetConfigValue(L"company_program=", brief));
    EXPECT_EQ(255u, brief.GetLength());
}

TEST_F(SetupConfigTest, UnusableContentFailsEveryLookup)
{
    const std::pair<const char*, ByteVector> contents[] = {
        {"no byte order mark", Utf16(L"company_name=Acme\r\n", false)},
        {"mark only", Utf16(L"")},
        {"odd byte count", [] { ByteVector b = Utf16(L"company_name=Acme\r\n"); b.push_back('x'); return b; }()},
        {"big-endian mark", [] { ByteVector b = Utf16(L"company_name=Acme\r\n"); std::swap(b[0], b[1]); return b; }()},
    };
    for (const auto& content : contents) {
        ASSERT_TRUE(LoadConfig(content.second)) << content.first;
        TStrStatic<0x100> value(L"previous");
        EXPECT_FALSE(m_package.m_pLicense->GetConfigValue(L"company_name=", value)) << content.first;
        EXPECT_STREQ(L"previous", value.GetString()) << content.first;
    }

    // The mark and one character is the shortest usable content.
    ASSERT_TRUE(LoadConfig(Utf16(L"\n")));
    TStrStatic<0x100> value(L"previous");
    EXPECT_FALSE(m_package.m_pLicense->GetConfigValue(L"company_name=", value));
    EXPECT_FALSE(m_package.m_pLicense->GetConfigValue(nullptr, value));
}

} // namespace
