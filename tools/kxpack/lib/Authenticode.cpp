#include "Authenticode.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

#include "ChildProcess.h"
#include "FileIo.h"
#include "InstallLimits.h"
#include "ScratchFiles.h"

namespace {

const char SIGNING_TOOL[] = "osslsigncode";
// Signing itself takes a second or two; a time-stamp server that takes the
// connection and never answers would otherwise hold the build for ever.
// KXPACK_SIGNING_TIMEOUT sets another limit (a slow server; the tests).
const int SIGNING_SECONDS = 120;
const long SIGNING_SECONDS_MAX = 86400;
const char SIGNING_TIMEOUT_VARIABLE[] = "KXPACK_SIGNING_TIMEOUT";
const char NOT_INSTALLED[] = "osslsigncode is not installed; it signs the installer "
                             "(Debian package osslsigncode: apt-get install osslsigncode)";

// The seconds osslsigncode may take; false for a KXPACK_SIGNING_TIMEOUT that
// is not a number of them.
bool SigningSeconds(int& seconds, std::string& error)
{
    const char* value = getenv(SIGNING_TIMEOUT_VARIABLE);
    seconds = SIGNING_SECONDS;
    if (!value)
        return true;
    char* end = nullptr;
    errno = 0;
    long given = strtol(value, &end, 10);
    if (!*value || *end || errno || given < 1 || given > SIGNING_SECONDS_MAX) {
        error = std::string(SIGNING_TIMEOUT_VARIABLE) + "=" + value + ": not a number of seconds from 1 to " +
                std::to_string(SIGNING_SECONDS_MAX);
        return false;
    }
    seconds = static_cast<int>(given);
    return true;
}

bool StartsWith(const std::string& text, const char* head)
{
    return text.compare(0, strlen(head), head) == 0;
}

// Opened, not read: the key stays where it is.
bool CheckReadable(const std::string& path, std::string& error)
{
    int fd = open(path.c_str(), O_RDONLY);
    if (fd < 0) {
        error = path + ": " + strerror(errno);
        return false;
    }
    struct stat info;
    bool folder = fstat(fd, &info) == 0 && S_ISDIR(info.st_mode);
    close(fd);
    if (folder)
        error = path + ": is a folder, not a file";
    return !folder;
}

// osslsigncode refuses to write over an existing file, so it writes into a
// folder of our own beside the output: renamed from there, the signed file
// replaces the output in one step, and no other file can take its name.
class CSigningFolder {
public:
    ~CSigningFolder()
    {
        if (m_folder.empty())
            return;
        unlink(File().c_str());
        rmdir(m_folder.c_str());
        ForgetScratchFile(File());
        ForgetScratchFile(m_folder);
    }
    bool Make(const std::string& outputPath, std::string& error)
    {
        std::string pattern = outputPath + ".kxpack-sign-XXXXXX";
        std::vector<char> name(pattern.begin(), pattern.end());
        name.push_back(0);
        CSignalsHeld held;
        if (!mkdtemp(name.data())) {
            error = outputPath + ": cannot create a scratch folder beside it: " + strerror(errno);
            return false;
        }
        m_folder = name.data();
        // Removed on a signal as well: the signed file, then the folder.
        if (!RegisterScratchFile(File()) || !RegisterScratchFile(m_folder, true)) {
            error = outputPath + ": too many scratch files";
            return false;
        }
        return true;
    }
    std::string File() const { return m_folder + "/signed.exe"; }

private:
    std::string m_folder;
};

// The signed file gets the unsigned one's permissions and reaches the disk
// before it replaces the output, as CAtomicFile does it.
bool FinishSignedFile(const std::string& unsignedPath, const std::string& signedPath,
                      const std::string& outputPath, std::string& error)
{
    struct stat info;
    int fd = open(signedPath.c_str(), O_RDONLY);
    bool ok = fd >= 0 && stat(unsignedPath.c_str(), &info) == 0 &&
              fchmod(fd, info.st_mode & 07777) == 0 && fsync(fd) == 0;
    int reason = errno;
    if (fd >= 0)
        close(fd);
    if (!ok) {
        error = outputPath + ": cannot finish the signed file: " + strerror(reason);
        return false;
    }
    if (rename(signedPath.c_str(), outputPath.c_str()) != 0) {
        error = outputPath + ": cannot replace: " + strerror(errno);
        return false;
    }
    return true;
}

} // namespace

bool CheckSigningOptions(const CodeSigningOptions& options, std::string& error)
{
    int seconds;
    if (options.Enabled() && !SigningSeconds(seconds, error))
        return false;
    if (options.cert.empty() != options.key.empty())
        error = options.cert.empty() ? "--sign-key needs --sign-cert (its certificate chain)"
                                     : "--sign-cert needs --sign-key (its private key)";
    else if (!options.pkcs12.empty() && !options.cert.empty())
        error = "--sign-pkcs12 holds both certificate and key: give it or --sign-cert and "
                "--sign-key, not both";
    else if (!options.passFile.empty() && options.pkcs12.empty() && options.key.empty())
        error = "--sign-pass-file needs --sign-pkcs12 or --sign-key";
    else if (!options.timestampUrl.empty() && !options.Enabled())
        error = "--timestamp-url needs --sign-cert and --sign-key, or --sign-pkcs12";
    else if (!options.timestampUrl.empty() && !StartsWith(options.timestampUrl, "http://") &&
             !StartsWith(options.timestampUrl, "https://"))
        error = "--timestamp-url " + options.timestampUrl + ": not an http:// or https:// URL";
    return error.empty();
}

bool CheckSigningInputs(const CodeSigningOptions& options, std::string& error)
{
    if (!options.Enabled())
        return true;
    for (const std::string* path : {&options.cert, &options.key, &options.pkcs12, &options.passFile})
        if (!path->empty() && !CheckReadable(*path, error))
            return false;
    if (!IsProgramInPath(SIGNING_TOOL)) {
        error = NOT_INSTALLED;
        return false;
    }
    return true;
}

bool SignInto(const CodeSigningOptions& options, const std::string& unsignedPath,
              const std::string& outputPath, std::string& error)
{
    CSigningFolder folder;
    if (!folder.Make(outputPath, error))
        return false;
    std::vector<std::string> args = {"sign", "-h", "sha256"};
    if (!options.pkcs12.empty())
        args.insert(args.end(), {"-pkcs12", options.pkcs12});
    else
        args.insert(args.end(), {"-certs", options.cert, "-key", options.key});
    // From a file: a password on the command line would show in the process list.
    if (!options.passFile.empty())
        args.insert(args.end(), {"-readpass", options.passFile});
    if (!options.timestampUrl.empty())
        args.insert(args.end(), {"-ts", options.timestampUrl});
    args.insert(args.end(), {"-in", unsignedPath, "-out", folder.File()});

    int seconds;
    if (!SigningSeconds(seconds, error))
        return false;
    ChildResult run = RunChild(SIGNING_TOOL, args, seconds);
    if (!run.started) {
        error = run.startErrno == ENOENT ? std::string(NOT_INSTALLED)
                                         : std::string("cannot run osslsigncode: ") + strerror(run.startErrno);
        return false;
    }
    if (run.timedOut) {
        error = "signing " + outputPath + " failed: osslsigncode did not finish in " + std::to_string(seconds) +
                " s" +
                (options.timestampUrl.empty() ? "" : " (is " + options.timestampUrl + " answering?)");
        return false;
    }
    if (run.exitCode != 0) {
        std::string reason = FirstMessage(run.stderrText);
        error = "signing " + outputPath + " failed: " +
                (reason.empty() ? "osslsigncode ended with status " + std::to_string(run.exitCode)
                                : reason);
        return false;
    }
    // The signature grows the file: checked again once it is there.
    struct stat info;
    if (stat(folder.File().c_str(), &info) == 0 && !CheckInstallerSize(static_cast<uint64_t>(info.st_size), error)) {
        error = outputPath + ": once signed, " + error;
        return false;
    }
    return FinishSignedFile(unsignedPath, folder.File(), outputPath, error);
}
