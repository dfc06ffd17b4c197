// Command-line options of the kxpack subcommands: --name VALUE, --flag and
// positional arguments.
#pragma once

#include <map>
#include <string>
#include <vector>

struct OptionSpec {
    const char* name; // without the dashes
    bool takesValue;
};

class CArgs {
public:
    // False, with a message, for an unknown option or a missing value.
    bool Parse(int argc, char** argv, const std::vector<OptionSpec>& options, std::string& error);
    bool Has(const std::string& name) const { return m_values.count(name) != 0; }
    std::string Get(const std::string& name, const std::string& fallback = "") const;
    const std::vector<std::string>& Positional() const { return m_positional; }

private:
    std::map<std::string, std::string> m_values;
    std::vector<std::string> m_positional;
};

// Exit codes of kxpack.
enum : int {
    EXIT_OK = 0,
    EXIT_FAILED = 1, // the work failed, or what was inspected did not verify
    EXIT_USAGE = 2,  // the command line was wrong
};

// "kxpack: <message>" on stderr; returns `code`.
int Fail(int code, const std::string& message);
void Warn(const std::string& message);
// How many warnings Warn has given.
unsigned WarningCount();
void Note(const std::string& message);
