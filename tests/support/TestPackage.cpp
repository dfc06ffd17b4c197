#include "support/TestPackage.h"

#include <windows.h>
#include <wincrypt.h>

#include <cstring>
#include <stdexcept>

#include "minilzo.h"
#include "package/PackageFormat.h"
#include "support/Process.h"

const wchar_t* const MINIMAL_CONFIG =
    L"company_program=Test Product\r\ncompany_program_brief=Test\r\ncompany_name=Test Company\r\n";

namespace {

void AppendU32(ByteVector& out, uint32_t value)
{
    const uint8_t* p = reinterpret_cast<const uint8_t*>(&value);
    out.insert(out.end(), p, p + 4);
}

// The development key as CryptoAPI takes it, made by the build from the PEM.
ByteVector TestKeyBlob()
{
    ByteVector blob;
    if (!ReadBytes(ProgramFolder() + L"\\..\\keys\\dev\\package-key.blob", blob))
        throw std::runtime_error("the development key blob is missing");
    return blob;
}

} // namespace

ByteVector ContainerBytes(uint32_t type, const std::vector<TestRecord>& records, ContainerOptions options)
{
    ContainerHeader header;
    memset(&header, 0, sizeof(header));
    header.magic1 = CONTAINER_MAGIC_1;
    header.magic2 = CONTAINER_MAGIC_2;
    header.created = options.created;
    header.type = type;
    header.recordCount = static_cast<uint16_t>(options.recordCount < 0 ? records.size() : options.recordCount);
    ByteVector out(reinterpret_cast<uint8_t*>(&header), reinterpret_cast<uint8_t*>(&header) + sizeof(header));
    uint8_t key[SCRAMBLE_KEY_BYTES];
    GetRecordKey(key);
    for (const auto& record : records) {
        AppendU32(out, record.id);
        AppendU32(out, static_cast<uint32_t>(record.data.size()));
        size_t start = out.size();
        out.insert(out.end(), record.data.begin(), record.data.end());
        ScrambleRecord(out.data() + start, static_cast<ptrdiff_t>(record.data.size()), key);
    }
    return out;
}

ByteVector ProgramFile(const std::vector<ByteVector>& containers)
{
    ByteVector out(DOS_HEADER_BYTES, 0);
    out[0] = 'M';
    out[1] = 'Z';
    uint32_t offset = DOS_HEADER_BYTES;
    memcpy(&out[PACKAGE_OFFSET_FIELD], &offset, 4);
    for (const auto& container : containers)
        out.insert(out.end(), container.begin(), container.end());
    return out;
}

ByteVector PackPayload(const ByteVector& content, PayloadOptions options)
{
    if (lzo_init() != LZO_E_OK)
        throw std::runtime_error("lzo_init");
    ByteVector payload(content.size() + content.size() / 16 + 64 + 3);
    ByteVector work(LZO1X_1_MEM_COMPRESS);
    lzo_uint packed = 0;
    lzo1x_1_compress(content.data(), content.size(), payload.data(), &packed, work.data());
    payload.resize(packed);
    AppendU32(payload, static_cast<uint32_t>(options.declaredSize < 0 ? content.size() : options.declaredSize));
    if (options.marker)
        AppendU32(payload, SIGNED_TRAILER_MARKER);
    ScrambleRecord(payload.data(), static_cast<ptrdiff_t>(payload.size()), SIGNATURE_LAYER_KEY);
    return payload;
}

ByteVector SignWithTestKey(const ByteVector& data)
{
    ByteVector blob = TestKeyBlob();
    HCRYPTPROV provider = 0;
    HCRYPTKEY key = 0;
    HCRYPTHASH hash = 0;
    ByteVector signature(512);
    DWORD length = static_cast<DWORD>(signature.size());
    bool ok = CryptAcquireContextW(&provider, nullptr, nullptr, PROV_RSA_FULL, CRYPT_VERIFYCONTEXT) &&
              CryptImportKey(provider, blob.data(), static_cast<DWORD>(blob.size()), 0, 0, &key) &&
              CryptCreateHash(provider, CALG_SHA1, 0, 0, &hash) &&
              CryptHashData(hash, data.data(), static_cast<DWORD>(data.size()), 0) &&
              CryptSignHashW(hash, AT_KEYEXCHANGE, nullptr, 0, signature.data(), &length);
    DWORD error = GetLastError();
    if (hash)
        CryptDestroyHash(hash);
    if (key)
        CryptDestroyKey(key);
    if (provider)
        CryptReleaseContext(provider, 0);
    if (!ok)
        throw std::runtime_error("signing with the test key failed: " + std::to_string(error));
    signature.resize(length);
    return signature;
}

std::vector<TestRecord> SignedPair(uint32_t id, uint32_t signatureId, const ByteVector& content,
                                   PayloadOptions options)
{
    ByteVector payload = PackPayload(content, options);
    return {{id, payload}, {signatureId, SignWithTestKey(payload)}};
}

ByteVector Utf16(const std::wstring& text, bool bom)
{
    ByteVector out;
    if (bom) {
        out.push_back(0xFF);
        out.push_back(0xFE);
    }
    for (wchar_t ch : text) {
        out.push_back(static_cast<uint8_t>(ch & 0xFF));
        out.push_back(static_cast<uint8_t>(ch >> 8));
    }
    return out;
}

ByteVector LicenseContainer(const std::wstring& configText)
{
    return ContainerBytes(CONTAINER_LICENSE, SignedPair(RECORD_CONFIG, RECORD_CONFIG_SIGNATURE, Utf16(configText)));
}

ByteVector CoreContainer()
{
    return ContainerBytes(CONTAINER_CORE, {{RECORD_ARCHIVE, ByteVector{'P', 'K', 5, 6}}});
}

bool WriteBytes(const std::wstring& path, const ByteVector& bytes)
{
    HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    DWORD written = 0;
    bool ok = WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
              written == bytes.size();
    CloseHandle(file);
    return ok;
}

bool ReadBytes(const std::wstring& path, ByteVector& bytes)
{
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    DWORD size = GetFileSize(file, nullptr);
    bytes.resize(size);
    DWORD got = 0;
    bool ok = size == 0 || (ReadFile(file, bytes.data(), size, &got, nullptr) && got == size);
    CloseHandle(file);
    return ok;
}
