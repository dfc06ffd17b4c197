// kxpack inspect: what an installer or uninstaller holds, read with the
// setup program's own rules, and whether everything in it verifies.
#include <cstdarg>
#include <cstdio>
#include <ctime>

#include "Args.h"
#include "Commands.h"
#include "InspectBytes.h"
#include "lib/AuthenticodeSignature.h"
#include "lib/ByteSource.h"
#include "lib/FileIo.h"
#include "lib/InstallLimits.h"
#include "lib/Json.h"
#include "lib/PackageCrypto.h"
#include "lib/PackageFile.h"
#include "lib/PackageLayout.h"
#include "lib/InstallerResources.h"
#include "lib/PeImage.h"
#include "lib/ResourceReport.h"
#include "lib/ProductInputs.h"
#include "lib/SetupConfigText.h"
#include "lib/ShownText.h"
#include "lib/SignedPayload.h"
#include "lib/TextCodec.h"
#include "lib/UninstallSlots.h"
#include "lib/ZipVerify.h"
#include "package/PackageLimits.h"
#include "package/UninstallList.h"

namespace {

const char HELP[] =
    "usage: kxpack inspect FILE [--json] [--cert FILE]\n"
    "\n"
    "Shows what an installer or an uninstaller holds: the setup program's\n"
    "edition (32-bit x86 or 64-bit x86-64) and image size, its Authenticode\n"
    "signer, digest and time stamp when it is signed, every\n"
    "container and record, the result of each signature check, the setup\n"
    "configuration, the licence texts, the archive entries and, for an\n"
    "uninstaller, the uninstall list and flags. Containers and records are read the way\n"
    "the setup program reads them.\n"
    "\n"
    "Everything the setup program will meet is verified: every byte of the\n"
    "container headers and record heads as a builder writes them, nothing but a\n"
    "signing tool's certificate table after the last container, and every entry\n"
    "of the program files, custom and licence archives inflated and checked\n"
    "against its CRC-32, its sizes and both of its ZIP headers. Each problem names\n"
    "the archive and entry, or the file offset (decimal and hex), where it lies.\n"
    "\n"
    "  --json       print a JSON document instead of text\n"
    "  --cert FILE  check signatures with this DER certificate instead of the\n"
    "               one among the resources of the file's own image\n"
    "\n"
    "The JSON document: file, fileSize; edition, machine, imageSize (null when\n"
    "the file is no program); packageOffset, readTo, stopReason; mode (install,\n"
    "uninstall, none); certificate {source, subject, sha256, bits}; icon {sizes,\n"
    "images [{width, height, bitCount, png}]} and version {fileVersion,\n"
    "productVersion, strings {name: text}}, the installer's own (null when the\n"
    "image has none); containers\n"
    "[{offset, type, kind, created, recordCount, records [{offset, readable, id,\n"
    "size}]}]; signatures [{name, record, signature, verified, unpacked,\n"
    "contentSize, problem}]; configuration; licenses [entry]; archives\n"
    "[{container, problem, verified, offset, entries [entry]}], where an entry is\n"
    "{name, size, compressedSize, method, crc32, offset (of its local header: a\n"
    "file offset, for licences one in their archive), verified, problem};\n"
    "uninstallList; uninstallFlags (null when not recorded); problems [text];\n"
    "verified (true when there are no problems).\n"
    "\n"
    "Exit status: 0 the package loads and everything verifies; 1 damage, or the\n"
    "file cannot be read or would not load; 2 a wrong command line.\n";

struct SignedPart {
    SignedPart(const char* partName, uint32_t recordId, uint32_t signatureRecordId)
        : name(partName), id(recordId), signatureId(signatureRecordId)
    {
    }
    const char* name;
    uint32_t id;
    uint32_t signatureId;
    bool present = false;
    bool signaturePresent = false;
    bool verified = false;
    bool unpacked = false;
    std::string problem;
    Bytes content;
};

struct ArchiveReport {
    explicit ArchiveReport(const char* name) : container(name) {}
    const char* container;
    std::vector<ZipEntryCheck> entries;
    bool inFile = false;     // false: unpacked from a signed record, offsets are the archive's own
    uint64_t fileOffset = 0; // of its first byte
    std::string problem;     // the first of its problems; "" when every byte verifies
};

struct Report {
    std::string path;
    uint64_t fileSize = 0;
    uint32_t imageEnd = 0;
    Edition edition = Edition::X86;
    ImageLayout image;
    std::string imageProblem;
    ReadPackage package;
    ResourceReport resources;
    std::string certificateSource;
    std::string certificateSubject, certificateFingerprint;
    int certificateBits = 0;
    AuthenticodeSignature authenticode;
    std::vector<SignedPart> signedParts;
    std::u16string config;
    std::vector<std::string> configErrors;
    BitmapInfo bitmap;
    std::string bitmapProblem;
    ArchiveReport licenses{"licence texts"};
    std::vector<ArchiveReport> archives;
    const ReadRecord* uninstallList = nullptr; // its slots are read as they are shown
    bool hasUninstallFlags = false; // older uninstallers have no flags record
    uint32_t uninstallFlags = 0;
    std::vector<std::string> problems;
};

const char* RecordName(uint32_t id)
{
    switch (id) {
    case RECORD_CONFIG: return "configuration";
    case RECORD_BITMAP: return "header bitmap";
    case RECORD_LICENSES: return "licence texts";
    case RECORD_ARCHIVE: return "archive";
    case RECORD_UNINSTALL_LIST: return "uninstall list";
    case RECORD_UNINSTALL_FLAGS: return "uninstall flags";
    case RECORD_CONFIG_SIGNATURE: return "configuration signature";
    case RECORD_BITMAP_SIGNATURE: return "header bitmap signature";
    case RECORD_LICENSES_SIGNATURE: return "licence texts signature";
    default: return "";
    }
}

// printf into the report: the caller decides where it goes.
__attribute__((format(printf, 2, 3))) void Appendf(std::string& out, const char* format, ...)
{
    va_list args;
    va_start(args, format);
    char small[256];
    int length = vsnprintf(small, sizeof(small), format, args);
    va_end(args);
    if (length < 0)
        return;
    if (static_cast<size_t>(length) < sizeof(small)) {
        out.append(small, static_cast<size_t>(length));
        return;
    }
    size_t start = out.size();
    out.resize(start + static_cast<size_t>(length) + 1);
    va_start(args, format);
    vsnprintf(&out[start], static_cast<size_t>(length) + 1, format, args);
    va_end(args);
    out.resize(start + static_cast<size_t>(length));
}

// Where a report goes: kept whole (the tests, the fuzzer) or written to a
// stream a piece at a time as it is made, so that a long one (an uninstall
// list of millions of slots) is never held whole.
class CReportOut {
public:
    explicit CReportOut(FILE* stream) : m_stream(stream) {}
    std::string& Text() { return m_text; }
    // Writes out what there is when streaming and it has grown, or `all`.
    void Spill(bool all = false)
    {
        const size_t PIECE = 1 << 20;
        if (m_stream && (all || m_text.size() >= PIECE)) {
            fwrite(m_text.data(), 1, m_text.size(), m_stream);
            m_text.clear();
        }
    }

private:
    FILE* m_stream;
    std::string m_text;
};

// A piece of the uninstall list that could not be read ends its showing.
std::string UnreadListProblem(const ReadRecord& list)
{
    return "uninstall list: its record at file " + OffsetText(list.DataOffset()) + " cannot be read to its end";
}

// Shown when it holds a slot at all.
bool ShowsUninstallList(const Report& r)
{
    return r.uninstallList && r.uninstallList->size >= UNINSTALL_SLOT_BYTES;
}

// `text` (UTF-8) and blanks to `width` characters: printf would count bytes.
std::string Padded(const std::string& text, size_t width)
{
    size_t characters = 0;
    for (char ch : text)
        characters += (static_cast<unsigned char>(ch) & 0xC0) != 0x80;
    return characters < width ? text + std::string(width - characters, ' ') : text;
}

std::string FormatTime(int64_t seconds)
{
    time_t t = static_cast<time_t>(seconds);
    struct tm utc;
    char text[32];
    if (!gmtime_r(&t, &utc) || !strftime(text, sizeof(text), "%Y-%m-%d %H:%M:%S UTC", &utc))
        return std::to_string(seconds);
    return text;
}

bool LoadCertificate(const InspectCertificate* given, const CByteSource& file, Report& report,
                     CPackageCertificate& cert)
{
    std::string error;
    Bytes der;
    if (given) {
        report.certificateSource = given->source;
        error = given->readError;
        if (!error.empty() || !cert.Load(given->der, error)) {
            report.problems.push_back(report.certificateSource + ": " + error);
            return false;
        }
    } else {
        // Among the image's resources; an installer made before kxpack wrote
        // it there carries it in the program's data, behind its marker. A
        // file that is no program has neither.
        bool found = false;
        if (report.imageProblem.empty()) {
            found = report.resources.hasCertificate;
            der = report.resources.certificate;
            report.certificateSource = "in the image's resources";
            if (!found && FindEmbeddedCertificate(file, report.imageEnd, der)) {
                found = true;
                report.certificateSource = "embedded in the image's data";
            }
        }
        if (!found || !cert.Load(der, error)) {
            report.problems.push_back("the image carries no package certificate (give --cert)");
            return false;
        }
    }
    report.certificateSubject = cert.Subject();
    report.certificateFingerprint = cert.Fingerprint();
    report.certificateBits = cert.KeyBits();
    return true;
}

// A signed record is checked as it is read, a piece at a time, and unpacked
// only when it could be a builder's: its size is the file's to claim.
void CheckSigned(const CByteSource& file, const ReadContainer& license, const CPackageCertificate* cert,
                 SignedPart& part)
{
    // An RSA signature of the largest key takes 2 KB; the licence container,
    // with the image, must fit the 64 MB an uninstaller keeps for them.
    const uint32_t SIGNATURE_MAX_BYTES = 64 << 10;
    const uint64_t SIGNED_MAX_BYTES = UNINSTALLER_OTHER_BYTES;
    const ReadRecord* record = license.Find(part.id);
    const ReadRecord* signature = license.Find(part.signatureId);
    part.present = record != nullptr;
    part.signaturePresent = signature != nullptr;
    Bytes signatureWindow, payloadWindow;
    const uint8_t* signatureBytes = signature && signature->size <= SIGNATURE_MAX_BYTES
                                        ? RecordBytes(file, *signature).Read(0, signature->size, signatureWindow)
                                        : nullptr;
    if (!record)
        part.problem = "record missing";
    else if (!signature)
        part.problem = "signature record missing";
    else if (!cert)
        part.problem = "not checked: no certificate";
    else if (!(part.verified =
                   signatureBytes && cert->Verify(RecordBytes(file, *record), signatureBytes, signature->size)))
        part.problem = "signature does not verify";
    else if (record->size > SIGNED_MAX_BYTES)
        part.problem = "verified, but not unpacked: its " + std::to_string(record->size) +
                       " bytes are more than the " + std::to_string(SIGNED_MAX_BYTES >> 20) +
                       " MB an uninstaller keeps for the image and the licence container";
    else if (const uint8_t* payload = RecordBytes(file, *record).Read(0, record->size, payloadWindow);
             !(part.unpacked = payload && UnpackSignedPayload(payload, record->size, part.content, part.problem)))
        part.problem = "verified, but " + (payload ? part.problem : std::string("it cannot be read"));
    Wipe(payloadWindow);
}

// Every byte of an archive as the setup program will read it; its problems,
// beyond the first few, are left to its entries to tell.
void VerifyArchive(const CArchiveBytes& zip, ArchiveReport& archive, Report& report)
{
    const size_t SHOWN_PROBLEMS = 10;
    ZipCheck check;
    VerifyZip(zip, 0, check);
    archive.entries = std::move(check.entries);
    archive.inFile = zip.InFile();
    archive.fileOffset = zip.FileOffset();
    for (size_t i = 0; i < check.problems.size(); ++i) {
        if (i == SHOWN_PROBLEMS) {
            report.problems.push_back(std::string(archive.container) + " archive: " +
                                      std::to_string(check.problems.size() - i) +
                                      " more problems (each entry's is in the entry list)");
            break;
        }
        report.problems.push_back(std::string(archive.container) + " archive: " + check.problems[i]);
    }
    if (!check.problems.empty())
        archive.problem = check.problems.front();
}

void InspectLicense(const CByteSource& file, const ReadContainer& license, const CPackageCertificate* cert,
                    Report& report)
{
    report.signedParts = {{"configuration", RECORD_CONFIG, RECORD_CONFIG_SIGNATURE},
                          {"header bitmap", RECORD_BITMAP, RECORD_BITMAP_SIGNATURE},
                          {"licence texts", RECORD_LICENSES, RECORD_LICENSES_SIGNATURE}};
    for (auto& part : report.signedParts) {
        CheckSigned(file, license, cert, part);
        if (!part.problem.empty())
            report.problems.push_back(std::string(part.name) + ": " + part.problem);
    }
    const Bytes& config = report.signedParts[0].content;
    if (report.signedParts[0].unpacked) {
        if (config.size() < 4 || config.size() % 2 || config[0] != 0xFF || config[1] != 0xFE) {
            report.configErrors.push_back("not UTF-16LE text with a byte order mark");
        } else {
            // The setup program drops the last character (normally the line break).
            report.config = Utf16LeToString(config.data() + 2, config.size() - 4);
            std::vector<std::string> warnings;
            CheckConfigText(report.config, report.configErrors, warnings);
        }
        for (const auto& error : report.configErrors)
            report.problems.push_back("configuration: " + error);
    }
    if (report.signedParts[1].unpacked &&
        !CheckBitmap(report.signedParts[1].content, report.bitmap, report.bitmapProblem))
        report.problems.push_back("header bitmap: " + report.bitmapProblem);
    const Bytes& texts = report.signedParts[2].content;
    if (report.signedParts[2].unpacked)
        VerifyArchive(CArchiveBytes(texts.data(), texts.size()), report.licenses, report);
}

void InspectArchive(const CByteSource& file, const ReadContainer& container, const char* name, Report& report)
{
    ArchiveReport archive(name);
    const ReadRecord* record = container.Find(RECORD_ARCHIVE);
    if (record) {
        VerifyArchive(CArchiveBytes(file, record->DataOffset(), record->size), archive, report);
    } else {
        archive.problem = "no archive record";
        report.problems.push_back(std::string(name) + " archive: " + archive.problem);
    }
    report.archives.push_back(std::move(archive));
}

// The list is read as it is shown (ForEachUninstallSlot), never held.
void InspectUninstallList(const CByteSource& file, const ReadContainer& container, Report& report)
{
    const ReadRecord* record = container.Find(RECORD_UNINSTALL_LIST);
    if (!record) {
        report.problems.push_back("uninstall container without an uninstall list");
        return;
    }
    report.uninstallList = record;
    if (record->size % UNINSTALL_SLOT_BYTES || record->size / UNINSTALL_SLOT_BYTES < UNINSTALL_FIRST_FILE_SLOT)
        report.problems.push_back("uninstall list of " + std::to_string(record->size) + " bytes is not " +
                                  std::to_string(UNINSTALL_FIRST_FILE_SLOT) + " or more slots of " +
                                  std::to_string(UNINSTALL_SLOT_BYTES) + " bytes");
    // Read as the setup program reads it: a short record is no flags at all.
    if (const ReadRecord* flags = container.Find(RECORD_UNINSTALL_FLAGS)) {
        size_t bytes = std::min<size_t>(flags->size, UNINSTALL_FLAGS_BYTES);
        Bytes window;
        const uint8_t* read = RecordBytes(file, *flags).Read(0, bytes, window);
        report.hasUninstallFlags = true;
        report.uninstallFlags = read ? ReadUninstallFlags(read, bytes) : 0;
    }
}

// What the edition could not start or install, as build refuses it.
void CheckInstallLimits(Report& report)
{
    std::string error;
    if (!CheckInstallerSize(report.fileSize, error))
        report.problems.push_back(error);
    uint64_t paths = 0;
    for (const auto& archive : report.archives) {
        std::vector<std::string> names;
        for (const auto& entry : archive.entries)
            names.push_back(entry.name);
        paths += CountListedPaths(names);
    }
    if (report.imageProblem.empty() && !CheckProgramFileCount(report.edition, paths, error))
        report.problems.push_back(error);
}

std::string UninstallFlagsText(const Report& r)
{
    if (!r.hasUninstallFlags)
        return "none recorded (nothing counts as made by the installation)";
    std::string text;
    if (r.uninstallFlags & UNINSTALL_CREATED_FOLDER)
        text += "made the folder";
    if (r.uninstallFlags & UNINSTALL_CREATED_GROUP)
        text += text.empty() ? "made the program group" : ", made the program group";
    if (r.uninstallFlags & ~uint32_t(UNINSTALL_CREATED_FOLDER | UNINSTALL_CREATED_GROUP))
        text += text.empty() ? "unknown bits" : ", unknown bits";
    char hex[16];
    snprintf(hex, sizeof(hex), "0x%08X", r.uninstallFlags);
    return std::string(hex) + (text.empty() ? " (made neither folder nor group)" : " (" + text + ")");
}

// Nothing for an entry that verifies: the list stays as it was.
std::string EntryVerdict(const ZipEntryCheck& entry)
{
    if (entry.verified)
        return "";
    return "  DAMAGED: " + (entry.problem.empty() ? std::string("not checked") : TerminalSafe(entry.problem));
}

void EntryJson(const ArchiveReport& archive, const ZipEntryCheck& entry, CJsonWriter& json)
{
    json.BeginObject().String("name", entry.name).Number("size", static_cast<int64_t>(entry.size));
    json.Number("compressedSize", static_cast<int64_t>(entry.compressedSize));
    json.Number("method", entry.method).Number("crc32", entry.crc32);
    json.Number("offset", static_cast<int64_t>((archive.inFile ? archive.fileOffset : 0) + entry.offset));
    json.Bool("verified", entry.verified).String("problem", entry.problem).EndObject();
}

// Whatever the file holds reaches the terminal in the text form of
// ShownText.h: its names, configuration and uninstall slots through
// ShownText, kxpack's and OpenSSL's own words, which may quote them, through
// TerminalSafe. The uninstall list is read from `file` as it is shown.
// The installer's own icon and version, as Explorer shows them.
void PrintResources(const ResourceReport& r, std::string& out)
{
    Appendf(out, "icon:         %s\n", r.hasIcon ? IconSizesText(r.icon).c_str() : "none");
    if (!r.hasVersion) {
        Appendf(out, "version:      none\n");
        return;
    }
    Appendf(out, "version:      file %s, product %s\n", r.fileVersion.empty() ? "-" : r.fileVersion.c_str(),
            r.productVersion.empty() ? "-" : r.productVersion.c_str());
    for (const auto& pair : r.versionStrings)
        Appendf(out, "  %s %s\n", Padded(TerminalSafe(pair.first), 16).c_str(), TerminalSafe(pair.second).c_str());
}

void PrintResourcesJson(const ResourceReport& r, CJsonWriter& json)
{
    if (r.hasIcon) {
        json.BeginObject("icon").String("sizes", IconSizesText(r.icon)).BeginArray("images");
        for (const IconImageInfo& image : r.icon)
            json.BeginObject().Number("width", image.width).Number("height", image.height)
                .Number("bitCount", image.bitCount).Bool("png", image.png).EndObject();
        json.EndArray().EndObject();
    } else {
        json.Null("icon");
    }
    if (r.hasVersion) {
        json.BeginObject("version").String("fileVersion", r.fileVersion).String("productVersion", r.productVersion);
        json.BeginObject("strings");
        for (const auto& pair : r.versionStrings)
            json.String(pair.first.c_str(), pair.second);
        json.EndObject().EndObject();
    } else {
        json.Null("version");
    }
}

void PrintText(Report& r, const CByteSource& file, CReportOut& sink)
{
    std::string& out = sink.Text();
    Appendf(out, "file:         %s (%llu bytes)\n", ShownText(r.path).c_str(),
            static_cast<unsigned long long>(r.fileSize));
    if (r.imageProblem.empty()) {
        Appendf(out, "edition:      %s (%s)\n", EditionName(r.edition), EditionMachine(r.edition));
        Appendf(out, "image:        %u bytes\n", r.imageEnd);
    } else
        Appendf(out, "image:        %s\n", TerminalSafe(r.imageProblem).c_str());
    Appendf(out, "package:      at offset %u, read to offset %llu (%s)\n", r.package.packageOffset,
            static_cast<unsigned long long>(r.package.endOffset), r.package.stopReason.c_str());
    const char* mode = !r.package.Loads() ? "does not load"
                       : r.package.Kept(CONTAINER_UNINSTALL) ? "uninstaller"
                                                            : "installer";
    Appendf(out, "runs as:      %s\n", mode);
    if (r.certificateSubject.empty())
        Appendf(out, "certificate:  none\n");
    else
        Appendf(out, "certificate:  %s, RSA %d, SHA-256 %s (%s)\n", TerminalSafe(r.certificateSubject).c_str(),
                r.certificateBits, r.certificateFingerprint.c_str(), TerminalSafe(r.certificateSource).c_str());
    if (r.imageProblem.empty())
        PrintResources(r.resources, out);
    const AuthenticodeSignature& code = r.authenticode;
    if (!code.present)
        Appendf(out, "authenticode: none\n");
    else if (code.subject.empty() && code.issuer.empty())
        Appendf(out, "authenticode: unreadable: %s\n", TerminalSafe(code.problem).c_str());
    else {
        Appendf(out, "authenticode: %s, %s (certificate table at %u, %u bytes)\n",
                TerminalSafe(code.digest).c_str(),
                !code.timestamped ? "not time-stamped"
                : code.timestampTime.empty() ? "time-stamped"
                                             : ("time-stamped " + TerminalSafe(code.timestampTime)).c_str(),
                code.offset, code.size);
        Appendf(out, "  signer:     %s\n", TerminalSafe(code.subject.empty() ? code.problem : code.subject).c_str());
        Appendf(out, "  issuer:     %s\n", TerminalSafe(code.issuer).c_str());
    }
    Appendf(out, "containers:\n");
    for (const auto& c : r.package.containers) {
        Appendf(out, "  %-9s at %llu, created %s, %u records\n", ContainerKindName(c.header.type),
                static_cast<unsigned long long>(c.offset), FormatTime(c.header.created).c_str(),
                c.header.recordCount);
        for (const auto& record : c.records) {
            if (record.readable)
                Appendf(out, "    record %3u %-24s %10u bytes\n", record.id, RecordName(record.id),
                        record.size);
            else
                Appendf(out, "    record at %llu: unreadable, skipped\n",
                        static_cast<unsigned long long>(record.offset));
        }
    }
    if (!r.signedParts.empty()) {
        Appendf(out, "signatures:\n");
        for (const auto& part : r.signedParts)
            Appendf(out, "  %-14s (%2u by %2u): %s\n", part.name, part.id, part.signatureId,
                    part.problem.empty()
                        ? ("verified, " + std::to_string(part.content.size()) + " bytes").c_str()
                        : TerminalSafe(part.problem).c_str());
    }
    if (!r.config.empty()) {
        Appendf(out, "configuration:\n");
        std::string text = ToUtf8(r.config);
        size_t start = 0;
        while (start < text.size()) {
            size_t end = text.find_first_of("\r\n", start);
            if (end == std::string::npos)
                end = text.size();
            if (end > start)
                Appendf(out, "  %s\n", ShownText(text.substr(start, end - start)).c_str());
            start = end + 1;
        }
    }
    if (r.bitmap.width)
        Appendf(out, "header bitmap: %d x %d, %d bits per pixel\n", r.bitmap.width, r.bitmap.height,
                r.bitmap.bitsPerPixel);
    if (!r.licenses.entries.empty()) {
        Appendf(out, "licence texts:\n");
        for (const auto& entry : r.licenses.entries)
            Appendf(out, "  %s %10llu bytes%s\n", Padded(ShownText(entry.name), 40).c_str(),
                    static_cast<unsigned long long>(entry.size), EntryVerdict(entry).c_str());
    }
    for (const auto& archive : r.archives) {
        uint64_t total = 0;
        for (const auto& entry : archive.entries)
            total += entry.size;
        Appendf(out, "%s archive: %zu entries, %llu bytes unpacked\n", archive.container,
                archive.entries.size(), static_cast<unsigned long long>(total));
        for (const auto& entry : archive.entries)
            Appendf(out, "  %s %12llu  %s%s\n", Padded(ShownText(entry.name), 50).c_str(),
                    static_cast<unsigned long long>(entry.size),
                    entry.method == 0 ? "stored" : entry.method == 8 ? "deflated" : "other method",
                    EntryVerdict(entry).c_str());
    }
    if (ShowsUninstallList(r)) {
        Appendf(out, "uninstall list:\n");
        if (!ForEachUninstallSlot(file, *r.uninstallList, [&](size_t i, const std::u16string& slot) {
                Appendf(out, "  %-14s %s\n", i == 0 ? "program group" : i == 1 ? "folder" : "file",
                        ShownText(ToUtf8(slot)).c_str());
                sink.Spill();
            }))
            r.problems.push_back(UnreadListProblem(*r.uninstallList));
        Appendf(out, "uninstall flags: %s\n", UninstallFlagsText(r).c_str());
    }
    if (r.problems.empty()) {
        Appendf(out, "result:       everything verified\n");
    } else {
        Appendf(out, "result:       %zu problem%s\n", r.problems.size(), r.problems.size() > 1 ? "s" : "");
        for (const auto& problem : r.problems)
            Appendf(out, "  - %s\n", TerminalSafe(problem).c_str());
    }
}

void PrintJson(Report& r, const CByteSource& file, CReportOut& sink)
{
    CJsonWriter json;
    json.BeginObject();
    json.String("file", r.path).Number("fileSize", static_cast<int64_t>(r.fileSize));
    if (r.imageProblem.empty()) {
        json.String("edition", EditionName(r.edition));
        json.String("machine", r.edition == Edition::X64 ? "x86-64" : "x86");
        json.Number("imageSize", r.imageEnd);
    } else {
        json.Null("edition").Null("machine").Null("imageSize");
    }
    json.Number("packageOffset", r.package.packageOffset);
    json.Number("readTo", static_cast<int64_t>(r.package.endOffset));
    json.String("stopReason", r.package.stopReason);
    json.String("mode", !r.package.Loads() ? "none"
                        : r.package.Kept(CONTAINER_UNINSTALL) ? "uninstall"
                                                             : "install");
    json.BeginObject("certificate");
    json.String("source", r.certificateSource).String("subject", r.certificateSubject);
    json.String("sha256", r.certificateFingerprint).Number("bits", r.certificateBits);
    json.EndObject();
    if (r.imageProblem.empty())
        PrintResourcesJson(r.resources, json);
    else
        json.Null("icon").Null("version");
    const AuthenticodeSignature& code = r.authenticode;
    if (!code.present) {
        json.Null("authenticode");
    } else {
        json.BeginObject("authenticode").Number("offset", code.offset).Number("size", code.size);
        json.String("subject", code.subject).String("issuer", code.issuer).String("digest", code.digest);
        json.Bool("timestamped", code.timestamped);
        if (code.timestampTime.empty())
            json.Null("timestampTime");
        else
            json.String("timestampTime", code.timestampTime);
        json.String("problem", code.problem).EndObject();
    }
    json.BeginArray("containers");
    for (const auto& c : r.package.containers) {
        json.BeginObject();
        json.Number("offset", static_cast<int64_t>(c.offset)).Number("type", c.header.type);
        json.String("kind", ContainerKindName(c.header.type)).Number("created", c.header.created);
        json.Number("recordCount", c.header.recordCount);
        json.BeginArray("records");
        for (const auto& record : c.records) {
            json.BeginObject();
            json.Number("offset", static_cast<int64_t>(record.offset)).Bool("readable", record.readable);
            json.Number("id", record.id).Number("size", record.size);
            json.EndObject();
        }
        json.EndArray().EndObject();
    }
    json.EndArray();
    json.BeginArray("signatures");
    for (const auto& part : r.signedParts) {
        json.BeginObject();
        json.String("name", part.name).Number("record", part.id).Number("signature", part.signatureId);
        json.Bool("verified", part.verified).Bool("unpacked", part.unpacked);
        json.Number("contentSize", static_cast<int64_t>(part.content.size()));
        json.String("problem", part.problem);
        json.EndObject();
    }
    json.EndArray();
    json.String("configuration", ToUtf8(r.config));
    json.BeginArray("licenses");
    for (const auto& entry : r.licenses.entries)
        EntryJson(r.licenses, entry, json);
    json.EndArray();
    json.BeginArray("archives");
    for (const auto& archive : r.archives) {
        json.BeginObject().String("container", archive.container).String("problem", archive.problem);
        json.Bool("verified", archive.problem.empty());
        json.Number("offset", static_cast<int64_t>(archive.fileOffset));
        json.BeginArray("entries");
        for (const auto& entry : archive.entries)
            EntryJson(archive, entry, json);
        json.EndArray().EndObject();
    }
    json.EndArray();
    json.BeginArray("uninstallList");
    auto showSlot = [&](size_t, const std::u16string& slot) {
        json.String(nullptr, ToUtf8(slot));
        sink.Text() += json.Take();
        sink.Spill();
    };
    if (ShowsUninstallList(r) && !ForEachUninstallSlot(file, *r.uninstallList, showSlot))
        r.problems.push_back(UnreadListProblem(*r.uninstallList));
    json.EndArray();
    if (r.hasUninstallFlags)
        json.Number("uninstallFlags", r.uninstallFlags);
    else
        json.Null("uninstallFlags");
    json.BeginArray("problems");
    for (const auto& problem : r.problems)
        json.String(nullptr, problem);
    json.EndArray();
    json.Bool("verified", r.problems.empty());
    json.EndObject();
    sink.Text() += json.Take();
}

} // namespace

InspectResult InspectFile(const CByteSource& file, const std::string& name,
                          const InspectCertificate* certificate, bool json, FILE* stream)
{
    InspectResult result;
    Report report;
    std::string error;
    report.path = name;
    report.fileSize = file.Size();
    if (ReadImageLayout(file, report.image, report.imageProblem)) {
        report.imageEnd = report.image.end;
        report.edition = report.image.edition;
        report.authenticode = ReadAuthenticodeSignature(file);
        if (!report.authenticode.problem.empty())
            report.problems.push_back("authenticode: " + report.authenticode.problem);
    } else {
        report.problems.push_back(report.imageProblem);
    }
    if (!ReadPackageFile(file, report.package, error)) {
        result.exitCode = EXIT_FAILED;
        result.error = name + ": " + error;
        return result;
    }
    if (!report.imageProblem.empty()) {
        // Not a program: there is nothing more to read.
    } else if (report.package.packageOffset != report.imageEnd) {
        report.problems.push_back("the package offset " + std::to_string(report.package.packageOffset) +
                                  " (the field at file " + OffsetText(PACKAGE_OFFSET_FIELD) +
                                  ") is not the end of the image (" + std::to_string(report.imageEnd) + ")");
    }
    if (!report.package.Loads())
        report.problems.push_back("the setup program would not load this package (it needs a "
                                  "licence container and a core or uninstall container)");
    for (auto& problem : CheckPackageLayout(report.package, report.fileSize,
                                            report.imageProblem.empty() ? &report.image : nullptr))
        report.problems.push_back(std::move(problem));

    if (report.imageProblem.empty()) {
        report.resources = ReadResourceReport(file, report.imageEnd);
        for (const std::string& problem : report.resources.problems)
            report.problems.push_back(problem);
    }
    CPackageCertificate cert;
    bool haveCert = LoadCertificate(certificate, file, report, cert);
    if (const ReadContainer* license = report.package.Kept(CONTAINER_LICENSE))
        InspectLicense(file, *license, haveCert ? &cert : nullptr, report);
    if (const ReadContainer* core = report.package.Kept(CONTAINER_CORE))
        InspectArchive(file, *core, "core", report);
    if (const ReadContainer* custom = report.package.Kept(CONTAINER_CUSTOM))
        InspectArchive(file, *custom, "custom", report);
    if (const ReadContainer* uninstall = report.package.Kept(CONTAINER_UNINSTALL))
        InspectUninstallList(file, *uninstall, report);
    CheckInstallLimits(report);

    CReportOut out(stream);
    if (json)
        PrintJson(report, file, out);
    else
        PrintText(report, file, out);
    out.Spill(true);
    result.report.swap(out.Text());
    result.exitCode = report.problems.empty() ? EXIT_OK : EXIT_FAILED;
    return result;
}

InspectResult InspectFile(const CByteSource& file, const std::string& name,
                          const InspectCertificate* certificate, bool json)
{
    return InspectFile(file, name, certificate, json, nullptr);
}

InspectResult InspectBytes(const Bytes& file, const std::string& name,
                           const InspectCertificate* certificate, bool json)
{
    return InspectFile(CMemorySource(file), name, certificate, json);
}

int RunInspect(int argc, char** argv)
{
    CArgs args;
    std::string error;
    if (!args.Parse(argc, argv, {{"json", false}, {"cert", true}, {"help", false}}, error))
        return Fail(EXIT_USAGE, error + "\n\n" + HELP);
    if (args.Has("help")) {
        fputs(HELP, stdout);
        return EXIT_OK;
    }
    if (args.Positional().size() != 1)
        return Fail(EXIT_USAGE, std::string("inspect needs one file\n\n") + HELP);

    const std::string& path = args.Positional()[0];
    // Read in pieces where it stands: an installer may be larger than the
    // memory it is inspected with.
    CFileSource file;
    if (!file.Open(path, error))
        return Fail(EXIT_FAILED, error);
    // A certificate file that cannot be read is one of the report's problems.
    InspectCertificate given;
    if (args.Has("cert")) {
        given.source = args.Get("cert");
        ReadWholeFile(given.source, given.der, given.readError);
    }
    InspectResult result = InspectFile(file, path, args.Has("cert") ? &given : nullptr, args.Has("json"), stdout);
    if (!result.error.empty())
        return Fail(result.exitCode, result.error);
    return result.exitCode;
}
