// kxpack keygen: the key pair that signs packages. The certificate goes into
// the setup program at build time; the private key stays with whoever builds
// installers.
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sys/stat.h>

#include "Args.h"
#include "Commands.h"
#include "lib/FileIo.h"
#include "lib/PackageCrypto.h"

namespace {

const char HELP[] =
    "usage: kxpack keygen OUTDIR [--subject NAME] [--days N] [--force]\n"
    "\n"
    "Makes an RSA-2048 key pair for signing packages:\n"
    "  OUTDIR/package-key.pem   the private key (PEM, readable by you only)\n"
    "  OUTDIR/package-cert.der  a self-signed X.509 v3 certificate (DER)\n"
    "The setup program is built with the certificate; installers are signed\n"
    "with the private key. Keep the key: a setup program accepts only packages\n"
    "signed with the key of its certificate.\n"
    "\n"
    "options:\n"
    "  --subject NAME  common name of the certificate (default: kxsetup package key)\n"
    "  --days N        validity in days (default 3650); the setup program does not\n"
    "                  check it\n"
    "  --force         replace existing files in OUTDIR\n";

bool MakeFolders(const std::string& path, std::string& error)
{
    std::string partial;
    for (size_t i = 0; i <= path.size(); ++i) {
        if (i == path.size() || path[i] == '/') {
            if (!partial.empty() && !IsDirectory(partial) && mkdir(partial.c_str(), 0755) != 0 &&
                errno != EEXIST) {
                error = partial + ": cannot create: " + strerror(errno);
                return false;
            }
        }
        if (i < path.size())
            partial.push_back(path[i]);
    }
    return true;
}

} // namespace

int RunKeygen(int argc, char** argv)
{
    CArgs args;
    std::string error;
    if (!args.Parse(argc, argv, {{"subject", true}, {"days", true}, {"force", false}, {"help", false}},
                    error))
        return Fail(EXIT_USAGE, error + "\n\n" + HELP);
    if (args.Has("help")) {
        fputs(HELP, stdout);
        return EXIT_OK;
    }
    if (args.Positional().size() != 1)
        return Fail(EXIT_USAGE, std::string("keygen needs one output folder\n\n") + HELP);

    std::string folder = args.Positional()[0];
    int days = atoi(args.Get("days", "3650").c_str());
    if (days <= 0)
        return Fail(EXIT_USAGE, "--days needs a positive number of days");
    std::string keyPath = folder + "/package-key.pem";
    std::string certPath = folder + "/package-cert.der";
    if (!args.Has("force")) {
        for (const auto& path : {keyPath, certPath})
            if (IsRegularFile(path))
                return Fail(EXIT_FAILED, path +
                                             " exists; --force replaces it (installers signed "
                                             "with the old key then no longer verify with the new "
                                             "certificate)");
    }
    if (!MakeFolders(folder, error) ||
        !GenerateKeyPair(keyPath, certPath, args.Get("subject", "kxsetup package key"), days, error))
        return Fail(EXIT_FAILED, error);
    Note("wrote " + keyPath + " and " + certPath);
    return EXIT_OK;
}
