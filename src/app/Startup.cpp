#include "app/Startup.h"

#include "app/RunModes.h"

int RunSetup(HINSTANCE /*instance*/)
{
    // Without a package reader there is nothing to install from: a program
    // file without a usable package ends silently with -1.
    return EXIT_FAILED;
}
