// The package certificate is a resource kxpack writes into each installer:
// the program as built carries none, and then runs nothing, whatever
// package stands behind it.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstring>

#include "package/PackageFormat.h"
#include "res/ResourceIds.h"
#include "support/Process.h"
#include "support/TempFolder.h"
#include "support/TestPackage.h"

namespace {

const DWORD RUN_LIMIT_MS = 20000;

bool HasCertificateResource(const std::wstring& program)
{
    HMODULE module = LoadLibraryExW(program.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    if (!module)
        return false;
    bool found = FindResourceW(module, MAKEINTRESOURCEW(IDR_PACKAGE_CERTIFICATE), RT_RCDATA) != nullptr;
    FreeLibrary(module);
    return found;
}

uint32_t PackageOffset(const ByteVector& program)
{
    uint32_t offset = 0;
    if (program.size() >= PACKAGE_OFFSET_FIELD + 4)
        memcpy(&offset, &program[PACKAGE_OFFSET_FIELD], 4);
    return offset;
}

TEST(CertificateResourceTest, AProgramWithoutTheCertificateEndsSilently)
{
    const std::wstring stub = ProgramFolder() + L"\\setup.exe", installer = ProgramFolder() + L"\\kestrel-setup.exe";
    EXPECT_FALSE(HasCertificateResource(stub)) << "the program as built carries a certificate";
    ASSERT_TRUE(HasCertificateResource(installer)) << "kxpack wrote no certificate";

    // The sample's signed package behind the program as built: the same
    // package, only the certificate missing.
    ByteVector image, sample;
    ASSERT_TRUE(ReadBytes(stub, image));
    ASSERT_TRUE(ReadBytes(installer, sample));
    uint32_t package = PackageOffset(sample);
    ASSERT_GT(package, 0u);
    ASSERT_LT(package, sample.size());
    uint32_t imageEnd = static_cast<uint32_t>(image.size());
    memcpy(&image[PACKAGE_OFFSET_FIELD], &imageEnd, 4);
    image.insert(image.end(), sample.begin() + package, sample.end());
    CTempFolder folder;
    const std::wstring uncertified = folder.Path(L"setup.exe");
    ASSERT_TRUE(WriteBytes(uncertified, image));

    ProcessResult run = RunProgram(uncertified, L"", RUN_LIMIT_MS);
    ASSERT_TRUE(run.started);
    ASSERT_TRUE(run.finished) << "still running after " << RUN_LIMIT_MS << " ms";
    EXPECT_EQ(static_cast<DWORD>(-1), run.exitCode);
    EXPECT_FALSE(run.showedWindow);
}

} // namespace
