// Installers: loading, every lookup of a signed record, licence texts and
// extraction into the scratch folder.
#include <cstring>
#include <map>

#include "archive/Extract.h"
#include "package/InstallPackage.h"
#include "robustness/Layouts.h"
#include "robustness/Targets.h"

namespace {

const wchar_t* const CONFIG_KEYS[] = {L"company_program=", L"company_program_brief=", L"company_name=",
                                      L"company_link=", L"link_name_1=", L"file_name_1=", L"icon_index_2=",
                                      L"no_such_key=", L"company"};
const LCID LOCALES[] = {1033, 1049, 1031};

ByteVector BufferBytes(const CSecureBuffer& buffer)
{
    const uint8_t* data = buffer.Data();
    return data ? ByteVector(data, data + buffer.Size()) : ByteVector();
}

class CPackageTarget : public CTarget {
public:
    bool Prepare(const std::wstring& base, std::string& problem) override
    {
        ByteVector program;
        if (!ReadBytes(base, program) || program.size() < DOS_HEADER_BYTES) {
            problem = "cannot read the base installer";
            return false;
        }
        // The DOS header and the package: the image between them is never
        // read by the loader, and leaving it out makes every case smaller.
        uint32_t offset = 0;
        memcpy(&offset, &program[PACKAGE_OFFSET_FIELD], 4);
        if (offset < DOS_HEADER_BYTES || offset > program.size()) {
            problem = "the base has no package";
            return false;
        }
        m_base.assign(program.begin(), program.begin() + DOS_HEADER_BYTES);
        m_base.insert(m_base.end(), program.begin() + offset, program.end());
        uint32_t newOffset = DOS_HEADER_BYTES;
        memcpy(&m_base[PACKAGE_OFFSET_FIELD], &newOffset, 4);
        m_layout = PackageLayout(m_base);

        // The right answers, from the unmutated package.
        CScratch scratch;
        InstallPackage package;
        if (!WriteBytes(scratch.Input(), m_base) || !package.Load(scratch.Input().c_str()) || !package.m_pLicense) {
            problem = "the base installer does not load";
            return false;
        }
        for (const wchar_t* key : CONFIG_KEYS) {
            TStrStatic<0x200> value;
            if (package.m_pLicense->GetConfigValue(key, value))
                m_config[key] = value.GetString();
        }
        CSecureBuffer bitmap;
        if (package.m_pLicense->GetBitmapRecord(bitmap))
            m_bitmap = BufferBytes(bitmap);
        for (LCID locale : LOCALES) {
            CSecureBuffer text;
            if (package.m_pLicense->LoadLicenseText(locale, text))
                m_licenses[locale] = BufferBytes(text);
        }
        for (const CDCContainer* container : {static_cast<const CDCContainer*>(package.m_pCore),
                                              static_cast<const CDCContainer*>(package.m_pCustom)}) {
            TArchiveSpan span;
            CArchiveReader reader;
            if (container && GetArchiveSpan(package, container, span) && reader.Open(span)) {
                ByteVector archive(static_cast<size_t>(span.size));
                if (reader.ReadAt(0, archive.data(), static_cast<uint32_t>(archive.size()))) {
                    TEntrySet entries = ArchiveEntries(archive);
                    m_entries.insert(entries.begin(), entries.end());
                }
            }
        }
        if (m_config.empty() || m_bitmap.empty() || m_licenses.empty() || m_entries.empty()) {
            problem = "the base installer lacks: " + std::string(m_config.empty() ? "configuration " : "") +
                      (m_bitmap.empty() ? "bitmap " : "") + (m_licenses.empty() ? "licences " : "") +
                      (m_entries.empty() ? "program files" : "");
            return false;
        }
        return true;
    }

    TCaseResult Run(const ByteVector& input, CScratch& scratch) override
    {
        TCaseResult result;
        if (!WriteInput(input, scratch, result))
            return result;
        InstallPackage package;
        bool loaded = package.Load(scratch.Input().c_str());
        if (loaded != (package.m_pLicense && (package.m_pCore || package.m_pUninstall)))
            result.problem += "Load's result does not match the containers it kept; ";
        package.IsUninstallMode();
        for (const CDCContainer* container :
             {static_cast<const CDCContainer*>(package.m_pLicense), static_cast<const CDCContainer*>(package.m_pCore),
              static_cast<const CDCContainer*>(package.m_pCustom),
              static_cast<const CDCContainer*>(package.m_pUninstall)})
            if (container)
                result.problem += Lookups(*container, scratch);

        CPathList created;
        bool extracted = false;
        if (loaded) {
            extracted = ExtractSetupArchive(package, scratch.Install().c_str(), created);
            bool custom = ExtractCustomArchive(package, scratch.Install().c_str(), created);
            result.problem += CheckExtracted(extracted && custom, created, m_entries);
        }
        result.problem += scratch.CheckAndClear(&created);
        result.outcome = !loaded ? "not loaded" : extracted ? "loaded, extracted" : "loaded, extraction failed";
        return result;
    }

private:
    // Every record and every signed lookup of one container.
    std::string Lookups(const CDCContainer& container, CScratch& scratch)
    {
        std::string problem;
        unsigned sum = 0;
        for (uint32_t id = 0; id < 16; ++id) {
            const uint8_t* data = nullptr;
            uint32_t size = 0;
            if (container.FindRecord(id, &data, &size))
                for (uint32_t i = 0; i < size; i += 4096)
                    sum += data[i]; // every page of the record must be there
        }
        (void)sum;
        for (const wchar_t* key : CONFIG_KEYS) {
            TStrStatic<0x200> value;
            if (!container.GetConfigValue(key, value))
                continue;
            auto expected = m_config.find(key);
            if (expected == m_config.end() || expected->second != value.GetString())
                problem += "a configuration value that is not the signed one: " + Narrow(key) + "; ";
        }
        CSecureBuffer bitmap;
        if (container.GetBitmapRecord(bitmap) && BufferBytes(bitmap) != m_bitmap)
            problem += "a bitmap that is not the signed one; ";
        for (LCID locale : LOCALES) {
            CSecureBuffer text;
            if (!container.LoadLicenseText(locale, text))
                continue;
            auto expected = m_licenses.find(locale);
            if (expected == m_licenses.end() || expected->second != BufferBytes(text))
                problem += "a licence text that is not the signed one; ";
        }
        return problem;
    }

    std::map<std::wstring, std::wstring> m_config;
    ByteVector m_bitmap;
    std::map<LCID, ByteVector> m_licenses;
    TEntrySet m_entries;
};

} // namespace

std::unique_ptr<CTarget> MakePackageTarget()
{
    return std::unique_ptr<CTarget>(new CPackageTarget);
}
