// kxpack build: setup program + product -> installer.
//
// The installer is the stub's image, then a licence container (setup
// configuration, header bitmap and licence texts, each signed), a core
// container (the program files archive) and optionally a custom container.
#include <cstdio>
#include <ctime>

#include "Args.h"
#include "Commands.h"
#include "lib/Authenticode.h"
#include "lib/FileIo.h"
#include "lib/PackageCrypto.h"
#include "lib/PackageFile.h"
#include "lib/PeImage.h"
#include "lib/ProductInputs.h"
#include "lib/SetupConfigText.h"
#include "lib/SignedPayload.h"
#include "lib/TextCodec.h"
#include "lib/ZipArchive.h"

namespace {

const char HELP[] =
    "usage: kxpack build --stub FILE --key FILE --output FILE [--product DIR]\n"
    "                    [--config FILE] [--bitmap FILE] [--licenses DIR]\n"
    "                    [--program DIR|ZIP] [--custom DIR|ZIP]\n"
    "                    [--sign-cert FILE --sign-key FILE | --sign-pkcs12 FILE]\n"
    "                    [--sign-pass-file FILE] [--timestamp-url URL]\n"
    "\n"
    "Builds an installer: the setup program (--stub) with a signed package behind\n"
    "it. Only the stub's image is used, so an installer serves as stub as well.\n"
    "\n"
    "  --stub FILE       setup.exe, either edition: 32-bit (x86) or 64-bit (x86-64);\n"
    "                    its package certificate must match --key\n"
    "  --key FILE        the package private key (PEM), from 'kxpack keygen'\n"
    "  --output FILE     the installer to write (replaced only when all went well)\n"
    "  --product DIR     a product folder; takes DIR/setup.cfg, DIR/header.bmp,\n"
    "                    DIR/licenses, DIR/program and, if present, DIR/custom\n"
    "  --config FILE     setup configuration, key=value lines (UTF-8 or UTF-16);\n"
    "                    needs company_program=, company_program_brief= and\n"
    "                    company_name=\n"
    "  --bitmap FILE     header bitmap of the wizard (BMP, 500 x 60)\n"
    "  --licenses DIR    licence texts named <locale id>-<anything> (1033-en.txt)\n"
    "  --program DIR|ZIP the program files: a folder (zipped here) or a ZIP\n"
    "  --custom DIR|ZIP  optional second archive, extracted after the program files\n"
    "  --strict          every warning fails the build (for release builds and CI)\n"
    "\n"
    "Authenticode signing of the finished installer (SHA-256), by osslsigncode\n"
    "(Debian package osslsigncode); a failed signing leaves --output as it was:\n"
    "  --sign-cert FILE  the code-signing certificate chain (PEM), the signer's first\n"
    "  --sign-key FILE   its private key (PEM)\n"
    "  --sign-pkcs12 FILE\n"
    "                    certificate chain and key in one PKCS#12 file instead\n"
    "  --sign-pass-file FILE\n"
    "                    the password of --sign-pkcs12 (or of an encrypted\n"
    "                    --sign-key), read from this file\n"
    "  --timestamp-url URL\n"
    "                    an RFC 3161 time-stamp server: Windows then accepts the\n"
    "                    signature after the certificate has expired\n";

struct BuildInputs {
    std::string stub, key, output, config, bitmap, licenses, program, custom;
};

bool ResolveInputs(const CArgs& args, BuildInputs& in, std::string& error)
{
    std::string product = args.Get("product");
    auto pick = [&](const char* option, const char* inProduct) {
        if (args.Has(option))
            return args.Get(option);
        return product.empty() || !inProduct ? std::string() : product + "/" + inProduct;
    };
    in.stub = args.Get("stub");
    in.key = args.Get("key");
    in.output = args.Get("output");
    in.config = pick("config", "setup.cfg");
    in.bitmap = pick("bitmap", "header.bmp");
    in.licenses = pick("licenses", "licenses");
    in.program = pick("program", "program");
    in.custom = args.Get("custom");
    if (!args.Has("custom") && !product.empty() && IsDirectory(product + "/custom"))
        in.custom = product + "/custom";
    if (!product.empty() && !IsDirectory(product)) {
        error = product + ": the product folder does not exist";
        return false;
    }
    const std::pair<const char*, const std::string*> required[] = {
        {"stub", &in.stub},         {"key", &in.key},           {"output", &in.output},
        {"config", &in.config},     {"bitmap", &in.bitmap},     {"licenses", &in.licenses},
        {"program", &in.program},
    };
    for (const auto& item : required)
        if (item.second->empty()) {
            error = std::string("--") + item.first + " is missing" +
                    (std::string(item.first) == "stub" || std::string(item.first) == "key" ||
                             std::string(item.first) == "output"
                         ? ""
                         : " (or give --product)");
            return false;
        }
    return true;
}

bool LoadStub(const std::string& path, const CSigningKey& key, Bytes& stub, ImageLayout& layout,
              std::string& error)
{
    if (!ReadWholeFile(path, stub, error))
        return false;
    if (!ReadImageLayout(stub, layout, error)) {
        error = path + ": " + error;
        return false;
    }
    Bytes der;
    CPackageCertificate certificate;
    if (!FindEmbeddedCertificate(stub.data(), layout.end, der) || !certificate.Load(der, error)) {
        error = path + ": carries no package certificate (is it the kxsetup setup program?)";
        return false;
    }
    if (!certificate.Matches(key)) {
        error = "the key does not match the package certificate of " + path +
                " (its installers would not start); certificate: " + certificate.Subject();
        return false;
    }
    return true;
}

bool LoadConfig(const std::string& path, Bytes& record, std::u16string& text, std::string& error)
{
    Bytes raw;
    std::string reason;
    if (!ReadWholeFile(path, raw, error))
        return false;
    if (!DecodeText(raw, text, reason)) {
        error = path + ": " + reason;
        return false;
    }
    text = NormalizeConfigText(text);
    std::vector<std::string> errors, warnings;
    // The lines first: a blank before "=" also makes a required key "missing".
    LintConfigText(text, errors, warnings);
    CheckConfigText(text, errors, warnings);
    for (const auto& warning : warnings)
        Warn(path + ": " + warning);
    if (!errors.empty()) {
        error = path + ": " + errors.front();
        return false;
    }
    record = EncodeUtf16LeWithBom(text);
    return true;
}

// A folder is zipped; a file is taken as a ready ZIP and checked.
bool LoadArchive(const std::string& source, const std::string& output, Bytes& zip,
                 std::string& error)
{
    if (IsDirectory(source))
        return ZipFolder(source, output, zip, error);
    if (!ReadWholeFile(source, zip, error))
        return false;
    std::string problem = CheckZipForSetup(zip);
    if (!problem.empty()) {
        error = source + ": " + problem;
        return false;
    }
    return true;
}

void WarnAboutShortcuts(const std::u16string& config, const Bytes& programZip)
{
    std::vector<ZipEntry> entries;
    std::string error;
    if (!ListZip(programZip, entries, error))
        return;
    auto present = [&](const std::u16string& relative) {
        std::string name = ToUtf8(relative);
        for (auto& ch : name)
            if (ch == '\\')
                ch = '/';
        for (const auto& entry : entries)
            if (entry.name == name)
                return true;
        return false;
    };
    auto shortcuts = ListConfigShortcuts(config);
    if (shortcuts.empty())
        Warn("the configuration names no shortcut (link_name_1=, file_name_1=, icon_file_1=, "
             "icon_index_1=); file_name_1= is the program started after installation");
    for (const auto& shortcut : shortcuts) {
        std::string number = "shortcut " + std::to_string(shortcut.number) + ": ";
        if (!present(shortcut.file))
            Warn(number + "\"" + ToUtf8(shortcut.file) + "\" is not among the program files");
        // The name is the shortcut's file name as it stands.
        const std::u16string& name = shortcut.name;
        if (name.size() < 4 || name.compare(name.size() - 4, 4, u".lnk") != 0)
            Warn(number + "\"" + ToUtf8(name) + "\" does not end in .lnk, so it is not a shortcut file");
    }
}

bool AddSigned(const CSigningKey& key, const CPackageCertificate* check, uint32_t id,
               uint32_t signatureId, const Bytes& content, std::vector<PackageRecord>& records,
               std::string& error)
{
    PackageRecord record, signature;
    record.id = id;
    signature.id = signatureId;
    if (!PackSignedPayload(content, record.data, error) ||
        !key.Sign(record.data, signature.data, error))
        return false;
    if (check && !check->Verify(record.data.data(), record.data.size(), signature.data.data(),
                                signature.data.size())) {
        error = "a fresh signature does not verify";
        return false;
    }
    records.push_back(std::move(record));
    records.push_back(std::move(signature));
    return true;
}

} // namespace

int RunBuild(int argc, char** argv)
{
    CArgs args;
    std::string error;
    if (!args.Parse(argc, argv,
                    {{"stub", true}, {"key", true}, {"output", true}, {"product", true},
                     {"config", true}, {"bitmap", true}, {"licenses", true}, {"program", true},
                     {"custom", true}, {"strict", false}, {"sign-cert", true},
                     {"sign-key", true}, {"sign-pkcs12", true}, {"sign-pass-file", true},
                     {"timestamp-url", true}, {"help", false}},
                    error))
        return Fail(EXIT_USAGE, error + "\n\n" + HELP);
    if (args.Has("help")) {
        fputs(HELP, stdout);
        return EXIT_OK;
    }
    if (!args.Positional().empty())
        return Fail(EXIT_USAGE, "unexpected argument " + args.Positional()[0] + "\n\n" + HELP);
    BuildInputs in;
    CodeSigningOptions signing{args.Get("sign-cert"), args.Get("sign-key"), args.Get("sign-pkcs12"),
                               args.Get("sign-pass-file"), args.Get("timestamp-url")};
    if (!ResolveInputs(args, in, error) || !CheckSigningOptions(signing, error))
        return Fail(EXIT_USAGE, error);
    if (!CheckOutputPath(in.output, error) || !CheckSigningInputs(signing, error))
        return Fail(EXIT_FAILED, error);

    CSigningKey key;
    Bytes stub;
    ImageLayout layout;
    if (!key.Load(in.key, error) || !LoadStub(in.stub, key, stub, layout, error))
        return Fail(EXIT_FAILED, error);
    const uint32_t imageEnd = layout.end;
    Note("stub " + in.stub + ": the " + EditionName(layout.edition) + " edition (" +
         EditionMachine(layout.edition) + "), image " + std::to_string(imageEnd) + " bytes");
    CPackageCertificate certificate;
    Bytes der;
    FindEmbeddedCertificate(stub.data(), imageEnd, der);
    certificate.Load(der, error);

    Bytes configRecord, bitmap, licenseZip, programZip, customZip;
    std::u16string configText;
    BitmapInfo bitmapInfo;
    std::vector<ZipInput> licenseTexts;
    std::vector<std::string> warnings;
    if (!LoadConfig(in.config, configRecord, configText, error))
        return Fail(EXIT_FAILED, error);
    if (!ReadWholeFile(in.bitmap, bitmap, error))
        return Fail(EXIT_FAILED, error);
    if (!CheckBitmap(bitmap, bitmapInfo, error))
        return Fail(EXIT_FAILED, in.bitmap + ": " + error);
    if (bitmapInfo.width != 500 || bitmapInfo.height != 60)
        Warn(in.bitmap + ": " + std::to_string(bitmapInfo.width) + " x " +
             std::to_string(bitmapInfo.height) + " pixels; the wizard header is 500 x 60");
    if (!LoadLicenseTexts(in.licenses, licenseTexts, warnings, error))
        return Fail(EXIT_FAILED, error);
    for (const auto& warning : warnings)
        Warn(warning);
    if (!ZipMemory(licenseTexts, in.output, licenseZip, error))
        return Fail(EXIT_FAILED, in.licenses + ": " + error);
    if (!LoadArchive(in.program, in.output, programZip, error))
        return Fail(EXIT_FAILED, error);
    if (!in.custom.empty() && !LoadArchive(in.custom, in.output, customZip, error))
        return Fail(EXIT_FAILED, error);
    WarnAboutShortcuts(configText, programZip);

    if (args.Has("strict") && WarningCount() > 0)
        return Fail(EXIT_FAILED, std::to_string(WarningCount()) + " warning(s), and --strict makes them errors");

    std::vector<PackageRecord> licenseRecords;
    if (!AddSigned(key, &certificate, RECORD_CONFIG, RECORD_CONFIG_SIGNATURE, configRecord,
                   licenseRecords, error) ||
        !AddSigned(key, &certificate, RECORD_BITMAP, RECORD_BITMAP_SIGNATURE, bitmap,
                   licenseRecords, error) ||
        !AddSigned(key, &certificate, RECORD_LICENSES, RECORD_LICENSES_SIGNATURE, licenseZip,
                   licenseRecords, error))
        return Fail(EXIT_FAILED, "signing: " + error);

    int64_t now = static_cast<int64_t>(time(nullptr));
    std::vector<Bytes> containers;
    containers.push_back(SerializeContainer(CONTAINER_LICENSE, now, licenseRecords));
    containers.push_back(SerializeContainer(CONTAINER_CORE, now, {{RECORD_ARCHIVE, programZip}}));
    if (!customZip.empty())
        containers.push_back(SerializeContainer(CONTAINER_CUSTOM, now, {{RECORD_ARCHIVE, customZip}}));
    Bytes installer = ComposeProgramFile(stub, imageEnd, containers);

    CAtomicFile output;
    if (!output.Open(in.output, 0755, error) || !output.Write(installer, error) ||
        !(signing.Enabled() ? SignInto(signing, output.TempPath(), in.output, error)
                            : output.Commit(error)))
        return Fail(EXIT_FAILED, error);
    Note("wrote " + in.output + ": " + std::to_string(installer.size()) + " bytes, the " +
         EditionName(layout.edition) + " edition (image " +
         std::to_string(imageEnd) + ", licence container " + std::to_string(containers[0].size()) +
         ", program files " + std::to_string(programZip.size()) +
         (customZip.empty() ? "" : ", custom files " + std::to_string(customZip.size())) + ")" +
         (signing.Enabled() ? ", then signed with Authenticode (SHA-256)" : ""));
    return EXIT_OK;
}
