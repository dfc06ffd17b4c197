#include "ProcessEnd.h"

#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <string>

#include "ToolRunner.h"

namespace {

bool Ended(pid_t pid)
{
    if (kill(pid, 0) != 0)
        return errno == ESRCH;
    // "<pid> (<name>) <state> ...": the state follows the last parenthesis.
    std::string stat = ReadText("/proc/" + std::to_string(pid) + "/stat");
    size_t close = stat.rfind(')');
    return close == std::string::npos || (close + 2 < stat.size() && stat[close + 2] == 'Z');
}

} // namespace

bool EndsWithin(pid_t pid, int seconds)
{
    for (int waited = 0; waited < seconds * 100; ++waited) {
        if (Ended(pid))
            return true;
        usleep(10000);
    }
    return Ended(pid);
}
