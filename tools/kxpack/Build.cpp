// kxpack build: setup program + product -> installer.
//
// The installer is the stub's image, then a licence container (setup
// configuration, header bitmap and licence texts, each signed), a core
// container (the program files archive) and optionally a custom container.
#include <cstdio>

#include "Args.h"
#include "BuildInputs.h"
#include "Commands.h"
#include "lib/Authenticode.h"
#include "lib/FileIo.h"
#include "lib/InstallLimits.h"
#include "lib/InstallerResources.h"
#include "lib/InstallerWriter.h"
#include "lib/PackageCrypto.h"
#include "lib/PackageFile.h"
#include "lib/PeImage.h"
#include "lib/ProductInputs.h"
#include "lib/ShippedStubs.h"
#include "lib/SignedPayload.h"
#include "lib/ZipWriter.h"

namespace {

const char HELP[] =
    "usage: kxpack build [--stub FILE | --edition 32|64] --key FILE [--certificate FILE]\n"
    "                    --output FILE [--product DIR] [--icon FILE]\n"
    "                    [--config FILE] [--bitmap FILE] [--licenses DIR]\n"
    "                    [--program DIR|ZIP] [--custom DIR|ZIP] [--strict]\n"
    "                    [--follow-links] [--allow-any-bitmap-size]\n"
    "                    [--sign-cert FILE --sign-key FILE | --sign-pkcs12 FILE]\n"
    "                    [--sign-pass-file FILE] [--timestamp-url URL]\n"
    "\n"
    "Builds an installer: the setup program (--stub) with a signed package behind\n"
    "it. Only the stub's image is used, so an installer serves as stub as well.\n"
    "\n"
    "  --stub FILE       setup.exe, either edition: 32-bit (x86) or 64-bit (x86-64)\n"
    "  --edition 32|64   without --stub: the stub of that edition shipped with\n"
    "                    kxpack (share/kxsetup/stubs/); 32 when not given\n"
    "  --key FILE        the package private key (PEM), from 'kxpack keygen'\n"
    "  --certificate FILE\n"
    "                    its certificate (DER), written into the installer; by\n"
    "                    default package-cert.der beside --key\n"
    "  --icon FILE       the installer's icon (.ico with 16, 32 and 48 pixel\n"
    "                    images; 256 may be PNG); by default the product folder's\n"
    "                    setup.ico when there is one, else the stub's own\n"
    "  --output FILE     the installer to write (replaced only when all went well)\n"
    "  --product DIR     a product folder; takes DIR/setup.cfg, DIR/header.bmp,\n"
    "                    DIR/licenses, DIR/program and, if present, DIR/custom\n"
    "  --config FILE     setup configuration, key=value lines (UTF-8 or UTF-16);\n"
    "                    needs company_program=, company_program_brief= and\n"
    "                    company_name=; product_version= (\"2.4.1\": one to four\n"
    "                    numbers up to 65535) is shown as the installed version\n"
    "  --bitmap FILE     header bitmap of the wizard: a Windows BMP of 500 x 60\n"
    "                    pixels, whole (another size only with\n"
    "                    --allow-any-bitmap-size)\n"
    "  --licenses DIR    licence texts named <locale id>-<anything> (1033-en.txt)\n"
    "  --program DIR|ZIP the program files: a folder (zipped here) or a ZIP\n"
    "  --custom DIR|ZIP  optional second archive, extracted after the program files\n"
    "  --strict          every warning fails the build (for release builds and CI)\n"
    "  --follow-links    pack what symbolic links point to, when that lies inside\n"
    "                    the folder being packed (links are refused otherwise)\n"
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
    "                    signature after the certificate has expired\n"
    "osslsigncode may take 120 s (KXPACK_SIGNING_TIMEOUT=SECONDS sets another\n"
    "limit); on that time-out, and when kxpack is ended by SIGINT, SIGTERM or\n"
    "SIGHUP, it is ended with whatever it started.\n"
    "\n"
    "What the stub's edition could not install is refused, before any work where\n"
    "the inputs tell, else as soon as it is known: an installer of 4 GiB or more,\n"
    "an archive its record cannot hold, more program files than the edition\n"
    "installs (docs/product-folder.md, Limits). ZIP64 is written only where an\n"
    "archive needs it.\n"
    "\n"
    "The same inputs give the same bytes: entries are sorted, file times and\n"
    "permissions are not stored, and every time written is SOURCE_DATE_EPOCH when\n"
    "it is set, else 1980-01-01 00:00:00 UTC. Nothing is left behind on failure\n"
    "or interruption, and an existing output file stays as it was.\n"
    "\n"
    "Exit status: 0 built, 1 the build failed (nothing written), 2 usage.\n";

// The package certificate: given, or the one `kxpack keygen` wrote beside the key.
std::string CertificatePath(const CArgs& args, const std::string& key)
{
    if (args.Has("certificate"))
        return args.Get("certificate");
    size_t slash = key.rfind('/');
    return (slash == std::string::npos ? std::string() : key.substr(0, slash + 1)) + "package-cert.der";
}

bool LoadCertificate(const std::string& path, const CSigningKey& key, Bytes& der,
                     CPackageCertificate& certificate, std::string& error)
{
    if (!ReadWholeFile(path, der, error))
        return false;
    if (!certificate.Load(der, error)) {
        error = path + ": not a package certificate (" + error + ")";
        return false;
    }
    if (!certificate.Matches(key)) {
        error = path + " is not the certificate of the key (its installers would not start); certificate: " +
                certificate.Subject();
        return false;
    }
    return true;
}

// The stub's image alone: whatever stands behind it (the package of an
// installer taken as stub) is not read on.
bool LoadStub(const std::string& path, Bytes& image, ImageLayout& layout, std::string& error)
{
    if (!ReadWholeFile(path, image, error))
        return false;
    if (!ReadImageLayout(image, layout, error)) {
        error = path + ": " + error;
        return false;
    }
    image.resize(layout.end);
    return true;
}

bool WriteArchive(CInstallerWriter& writer, uint32_t type, int64_t time, const ArchiveInput& archive,
                  const std::string& output, uint64_t& size, std::string& error)
{
    if (!writer.BeginRecord(type, time, RECORD_ARCHIVE, error))
        return false;
    // Large deflated files wait in scratch files beside the output, where
    // the installer's own room is.
    ZipWriteOptions options;
    size_t slash = output.rfind('/');
    options.scratchFolder = slash == std::string::npos ? "." : slash == 0 ? "/" : output.substr(0, slash);
    bool written = archive.readyZip ? CopyReadyZip(archive, writer, error)
                                    : WriteZip(archive.entries, time, archive.source, options, writer, error);
    return written && writer.EndRecord(size, error);
}

// An installer that cannot be smaller than 4 GiB, or an archive that cannot
// fit its record, refused before any compressing. `least` is what comes
// before the archives.
bool CheckLeastSizes(uint64_t least, const std::vector<const ArchiveInput*>& archives, const std::string& output,
                     std::string& error)
{
    for (const ArchiveInput* archive : archives) {
        uint64_t bytes = LeastArchiveBytes(*archive);
        // Each archive stands in a container of its own, with one record head.
        least += sizeof(ContainerHeader) + sizeof(RecordHead) + bytes;
        if (!CheckRecordSize(archive->what, bytes, error)) {
            error = archive->source + ": " + error;
            return false;
        }
    }
    if (!CheckInstallerSize(least, error)) {
        error = output + ": " + error;
        return false;
    }
    return true;
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
                    {{"stub", true}, {"edition", true}, {"key", true}, {"certificate", true}, {"icon", true}, {"output", true}, {"product", true},
                     {"config", true}, {"bitmap", true}, {"licenses", true}, {"program", true},
                     {"custom", true}, {"strict", false}, {"follow-links", false},
                     {"allow-any-bitmap-size", false}, {"sign-cert", true}, {"sign-key", true},
                     {"sign-pkcs12", true}, {"sign-pass-file", true}, {"timestamp-url", true},
                     {"help", false}},
                    error))
        return Fail(EXIT_USAGE, error + "\n\n" + HELP);
    if (args.Has("help")) {
        fputs(HELP, stdout);
        return EXIT_OK;
    }
    if (!args.Positional().empty())
        return Fail(EXIT_USAGE, "unexpected argument " + args.Positional()[0] + "\n\n" + HELP);
    BuildInputs in;
    int64_t time = 0;
    CodeSigningOptions signing{args.Get("sign-cert"), args.Get("sign-key"), args.Get("sign-pkcs12"),
                               args.Get("sign-pass-file"), args.Get("timestamp-url")};
    if (!ResolveInputs(args, in, error) || !BuildTime(time, error) || !CheckSigningOptions(signing, error))
        return Fail(EXIT_USAGE, error);
    // The stub shipped with kxpack, unless one is given: not there is a
    // failed build, not a wrong command line.
    if (in.stub.empty() && !FindShippedStub(in.edition, in.stub, error))
        return Fail(EXIT_FAILED, error);
    if (!CheckOutputPath(in.output, error) || !CheckSigningInputs(signing, error) ||
        !CheckProductLinks(in, error) || !LookAtInputs(in, error))
        return Fail(EXIT_FAILED, error);

    CSigningKey key;
    CPackageCertificate certificate;
    InstallerResourceInputs resources;
    Bytes stub;
    ImageLayout layout;
    if (!key.Load(in.key, error) ||
        !LoadCertificate(CertificatePath(args, in.key), key, resources.certificate, certificate, error) ||
        !LoadStub(in.stub, stub, layout, error))
        return Fail(EXIT_FAILED, error);
    Note("stub " + in.stub + ": the " + EditionName(layout.edition) + " edition (" +
         EditionMachine(layout.edition) + "), image " + std::to_string(layout.end) + " bytes");

    Bytes configRecord, bitmap, licenseZip;
    std::u16string configText;
    BitmapInfo bitmapInfo;
    std::vector<ZipSource> licenseTexts;
    std::vector<std::string> warnings;
    ArchiveInput program, custom;
    if (!LoadConfig(in.config, in.configSeen, configRecord, configText, error))
        return Fail(EXIT_FAILED, error);
    if (!ReadCheckedInput(in.bitmap, in.bitmapSeen, bitmap, error))
        return Fail(EXIT_FAILED, error);
    if (!CheckBitmap(bitmap, bitmapInfo, error))
        return Fail(EXIT_FAILED, in.bitmap + ": " + error);
    if (bitmapInfo.width != 500 || bitmapInfo.height != 60) {
        std::string size = in.bitmap + ": " + std::to_string(bitmapInfo.width) + " x " +
                           std::to_string(bitmapInfo.height) + " pixels; the wizard header is 500 x 60";
        if (!args.Has("allow-any-bitmap-size"))
            return Fail(EXIT_FAILED, size + " (give --allow-any-bitmap-size to take it as it is)");
        Note(size + ", taken as it is");
    }
    if (!LoadLicenseTexts(in.licenses, in.followLinks, licenseTexts, warnings, error))
        return Fail(EXIT_FAILED, error);
    for (const auto& warning : warnings)
        Warn(warning);
    CMemorySink licenseSink(licenseZip);
    if (!WriteZip(licenseTexts, time, in.licenses, licenseSink, error))
        return Fail(EXIT_FAILED, error);
    bool hasCustom = !in.custom.empty();
    if (!LoadArchive("program files", in.program, in.programSeen, in.followLinks, program, error))
        return Fail(EXIT_FAILED, error);
    if (hasCustom && !LoadArchive("custom files", in.custom, in.customSeen, in.followLinks, custom, error))
        return Fail(EXIT_FAILED, error);
    std::vector<const ArchiveInput*> archives = {&program};
    if (hasCustom)
        archives.push_back(&custom);
    // Sizes before a ready ZIP is read: an installer too large is refused at once.
    if (!CheckLeastSizes(layout.end, archives, in.output, error) || !CheckReadyZip(program, error) ||
        (hasCustom && !CheckReadyZip(custom, error)))
        return Fail(EXIT_FAILED, error);
    if (!CheckProgramFileCount(layout.edition, CountListedPaths(program.names) + CountListedPaths(custom.names),
                               error))
        return Fail(EXIT_FAILED, in.stub + ": " + error);
    std::vector<std::string> installed = program.names;
    installed.insert(installed.end(), custom.names.begin(), custom.names.end());
    if (!CheckShortcuts(in.config, configText, installed, error))
        return Fail(EXIT_FAILED, error);

    IconFile icon;
    if (!in.icon.empty()) {
        Bytes iconFile;
        if (!ReadCheckedInput(in.icon, in.iconSeen, iconFile, error))
            return Fail(EXIT_FAILED, error);
        if (!ReadInstallerIcon(iconFile, icon, error))
            return Fail(EXIT_FAILED, in.icon + ": " + error);
        resources.icon = &icon;
        Note("icon " + in.icon + ": " + IconSizesText(IconImageInfos(icon)));
    }
    resources.version = InstallerVersionStrings(configText);
    if (!WriteInstallerResources(stub, resources, error))
        return Fail(EXIT_FAILED, in.stub + ": " + error);
    const uint32_t imageEnd = static_cast<uint32_t>(stub.size());

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
    Bytes licenseContainer = SerializeContainer(CONTAINER_LICENSE, time, licenseRecords);
    if (!CheckLeastSizes(imageEnd + licenseContainer.size(), archives, in.output, error))
        return Fail(EXIT_FAILED, error);

    CInstallerWriter writer;
    uint64_t programSize = 0, customSize = 0;
    if (!writer.Open(in.output, error) || !writer.WriteImage(stub, imageEnd, error) ||
        !writer.WriteContainer(licenseContainer, error) ||
        !WriteArchive(writer, CONTAINER_CORE, time, program, in.output, programSize, error) ||
        (hasCustom && !WriteArchive(writer, CONTAINER_CUSTOM, time, custom, in.output, customSize, error)) ||
        !(signing.Enabled() ? writer.Finish(error) && SignInto(signing, writer.TempPath(), in.output, error)
                            : writer.Commit(error)))
        return Fail(EXIT_FAILED, error);
    Note("wrote " + in.output + ": " + std::to_string(writer.Size()) + " bytes, the " +
         EditionName(layout.edition) + " edition (image " + std::to_string(imageEnd) +
         ", licence container " + std::to_string(licenseContainer.size()) + ", program files " +
         std::to_string(programSize) + (hasCustom ? ", custom files " + std::to_string(customSize) : "") + ")" +
         (signing.Enabled() ? ", then signed with Authenticode (SHA-256)" : ""));
    return EXIT_OK;
}
