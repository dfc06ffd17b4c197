// kxpack: makes and checks the packages of the setup program.
#include <cstdio>
#include <cstring>
#include <string>

#include "Args.h"
#include "Commands.h"
#include "lib/ScratchFiles.h"

namespace {

const char USAGE[] =
    "usage: kxpack <command> [options]\n"
    "\n"
    "Makes and checks installers of the kxsetup setup program.\n"
    "\n"
    "commands:\n"
    "  keygen   make a package key pair (private key and certificate)\n"
    "  build    build an installer from the setup program and a product folder\n"
    "  inspect  show and verify an installer or an uninstaller\n"
    "\n"
    "Run 'kxpack <command> --help' for the options of a command;\n"
    "'kxpack --version' for the version and the format it writes.\n"
    "Exit status: 0 success, 1 failure (or nothing verified), 2 wrong command line.\n";

// KXPACK_VERSION is the project's version, given by the build.
const char VERSION[] =
    "kxpack " KXPACK_VERSION "\n"
    "writes: installers of the kxsetup setup program, 32-bit (x86) or 64-bit (x86-64) stub;\n"
    "        package containers \"KX24\" (licence, core, custom), records signed with RSA and SHA-1,\n"
    "        program files as ZIP (stored or deflated, ZIP64 only where needed), texts as UTF-16LE;\n"
    "        the same bytes for the same inputs (times from SOURCE_DATE_EPOCH, else 1980-01-01);\n"
    "        Authenticode signatures (SHA-256, through osslsigncode) when asked\n";

} // namespace

int main(int argc, char** argv)
{
    RemoveScratchFilesOnSignals();
    if (argc < 2) {
        fputs(USAGE, stderr);
        return EXIT_USAGE;
    }
    std::string command = argv[1];
    if (command == "--help" || command == "-h" || command == "help") {
        fputs(USAGE, stdout);
        return EXIT_OK;
    }
    if (command == "--version") {
        fputs(VERSION, stdout);
        return EXIT_OK;
    }
    if (command == "keygen")
        return RunKeygen(argc - 2, argv + 2);
    if (command == "build")
        return RunBuild(argc - 2, argv + 2);
    if (command == "inspect")
        return RunInspect(argc - 2, argv + 2);
    fprintf(stderr, "kxpack: unknown command '%s'\n\n%s", command.c_str(), USAGE);
    return EXIT_USAGE;
}
