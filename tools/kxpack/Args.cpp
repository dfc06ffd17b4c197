#include "Args.h"

#include <cstdio>

bool CArgs::Parse(int argc, char** argv, const std::vector<OptionSpec>& options, std::string& error)
{
    bool optionsEnded = false;
    for (int i = 0; i < argc; ++i) {
        std::string arg = argv[i];
        if (optionsEnded || arg.size() < 2 || arg.compare(0, 2, "--") != 0) {
            if (!optionsEnded && arg.size() > 1 && arg[0] == '-' && arg != "-") {
                error = "unknown option " + arg;
                return false;
            }
            m_positional.push_back(arg);
            continue;
        }
        if (arg == "--") {
            optionsEnded = true;
            continue;
        }
        std::string name = arg.substr(2), value;
        size_t equals = name.find('=');
        bool inlineValue = equals != std::string::npos;
        if (inlineValue) {
            value = name.substr(equals + 1);
            name = name.substr(0, equals);
        }
        const OptionSpec* option = nullptr;
        for (const auto& candidate : options)
            if (name == candidate.name)
                option = &candidate;
        if (!option) {
            error = "unknown option --" + name;
            return false;
        }
        if (option->takesValue && !inlineValue) {
            if (i + 1 >= argc) {
                error = "--" + name + " needs a value";
                return false;
            }
            value = argv[++i];
        } else if (!option->takesValue && inlineValue) {
            error = "--" + name + " takes no value";
            return false;
        }
        m_values[name] = value;
    }
    return true;
}

std::string CArgs::Get(const std::string& name, const std::string& fallback) const
{
    auto found = m_values.find(name);
    return found == m_values.end() ? fallback : found->second;
}

int Fail(int code, const std::string& message)
{
    fprintf(stderr, "kxpack: %s\n", message.c_str());
    return code;
}

namespace {

unsigned g_warnings = 0;

} // namespace

void Warn(const std::string& message)
{
    ++g_warnings;
    fprintf(stderr, "kxpack: warning: %s\n", message.c_str());
}

unsigned WarningCount()
{
    return g_warnings;
}

void Note(const std::string& message)
{
    fprintf(stderr, "kxpack: %s\n", message.c_str());
}
