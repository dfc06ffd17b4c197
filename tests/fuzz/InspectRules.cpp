#include "InspectRules.h"

#include <cstring>

#include "Args.h"
#include "FuzzSigner.h"
#include "package/PackageFormat.h"

namespace {

bool EndsWith(const std::string& text, const char* tail)
{
    size_t n = strlen(tail);
    return text.size() >= n && text.compare(text.size() - n, n, tail) == 0;
}

// Where a terminal would act on a report's bytes or could not read them:
// control characters but the line break, DEL, C1 controls, bytes that are
// not UTF-8 (overlong forms and surrogates included). "" when nowhere.
std::string UnsafeByte(const std::string& report)
{
    const auto* p = reinterpret_cast<const unsigned char*>(report.data());
    for (size_t at = 0; at < report.size();) {
        unsigned lead = p[at];
        size_t extra = lead < 0x80 ? 0 : lead >= 0xC2 && lead < 0xE0 ? 1 : lead >= 0xE0 && lead < 0xF0 ? 2
                                                       : lead >= 0xF0 && lead < 0xF5 ? 3 : 9;
        uint32_t code = extra == 0 ? lead : extra == 1 ? lead & 0x1F : extra == 2 ? lead & 0x0F : lead & 0x07;
        bool whole = extra < 4 && report.size() - at > extra;
        for (size_t i = 1; whole && i <= extra; ++i) {
            whole = (p[at + i] & 0xC0) == 0x80;
            code = code << 6 | (p[at + i] & 0x3F);
        }
        static const uint32_t least[] = {0, 0x80, 0x800, 0x10000};
        if (!whole || code < least[extra] || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF))
            return "a byte that is not UTF-8 at " + std::to_string(at);
        if ((code < 0x20 && code != '\n') || (code >= 0x7F && code <= 0x9F))
            return "control character " + std::to_string(code) + " at " + std::to_string(at);
        at += extra + 1;
    }
    return "";
}

} // namespace

std::string BrokenReportRule(const Bytes& file, const std::string& name, const InspectResult& text,
                             const InspectResult& json)
{
    if (text.exitCode != EXIT_OK && text.exitCode != EXIT_FAILED)
        return "the exit code is " + std::to_string(text.exitCode) + ", not 0 or 1";
    if (text.exitCode != json.exitCode || text.error != json.error)
        return "text and JSON disagree on the exit code or the error";
    // What the file holds never reaches a terminal raw, nor a JSON reader
    // as bytes that are not UTF-8.
    for (const InspectResult* report : {&text, &json}) {
        std::string unsafe = UnsafeByte(report->report + report->error);
        if (!unsafe.empty())
            return std::string(report == &text ? "the text" : "the JSON") + " report holds " + unsafe;
    }
    if (!text.error.empty()) {
        // Only a file too short to hold the package offset has no report.
        if (text.exitCode != EXIT_FAILED || !text.report.empty() || file.size() >= DOS_HEADER_BYTES)
            return "an error (" + text.error + ") for a file of " + std::to_string(file.size()) +
                   " bytes, or with a report or exit code 0";
        return "";
    }
    bool verified = text.exitCode == EXIT_OK;
    std::string head = "file:         " + name + " (" + std::to_string(file.size()) + " bytes)\n";
    if (text.report.compare(0, head.size(), head) != 0)
        return "the text report does not start with the file and its size";
    if (EndsWith(text.report, "result:       everything verified\n") != verified)
        return "the text report's result does not match exit code " + std::to_string(text.exitCode);
    if (json.report.compare(0, 2, "{\n") != 0 || !EndsWith(json.report, "}\n"))
        return "the JSON report is not one object";
    if (!EndsWith(json.report, verified ? "\"verified\": true\n}\n" : "\"verified\": false\n}\n"))
        return "the JSON verdict does not match exit code " + std::to_string(text.exitCode);
    return "";
}

std::string BrokenResignRule(const InspectResult& json)
{
    if (json.report.find("\"problem\": \"signature does not verify\"") != std::string::npos)
        return "a record signed anew does not verify with the fuzz key's certificate";
    return "";
}

std::string InspectLikeTheFuzzer(const Bytes& file, const CFuzzKey& key)
{
    std::string broken = BrokenReportRule(file, "input.exe", InspectBytes(file, "input.exe", nullptr, false),
                                          InspectBytes(file, "input.exe", nullptr, true));
    Bytes resigned;
    if (!broken.empty() || !Resign(file, key, resigned))
        return broken;
    InspectResult json = InspectBytes(resigned, "resigned.exe", &key.Certificate(), true);
    broken = BrokenReportRule(resigned, "resigned.exe",
                              InspectBytes(resigned, "resigned.exe", &key.Certificate(), false), json);
    return broken.empty() ? BrokenResignRule(json) : "signed anew: " + broken;
}
