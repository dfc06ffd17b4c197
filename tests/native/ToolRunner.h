// Runs kxpack as a user would, and the tools the tests need beside it, and
// collects what they say.
#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

struct ToolResult {
    int exitCode = -1;
    std::string out;
    std::string err;
    long peakKilobytes = 0; // the program's own peak resident memory
};

ToolResult RunKxpack(const std::vector<std::string>& args);
// kxpack started and left running, its output dropped; 0 when it cannot start.
pid_t StartKxpack(const std::vector<std::string>& args);
// Another program, looked up in PATH (openssl, osslsigncode).
ToolResult RunProgram(const std::string& program, const std::vector<std::string>& args);

// A scratch folder removed with its contents at the end.
class CScratchFolder {
public:
    CScratchFolder();
    ~CScratchFolder();
    const std::string& Path() const { return m_path; }
    std::string operator/(const std::string& name) const { return m_path + "/" + name; }
    // Names of the entries directly inside, sorted.
    std::vector<std::string> List() const;

private:
    std::string m_path;
};

std::string ReadText(const std::string& path);
void WriteText(const std::string& path, const std::string& text);
