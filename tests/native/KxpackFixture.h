// What the kxpack command-line tests share: a stand-in for setup.exe, a
// product folder and package keys made for the test.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "ToolRunner.h"
#include "lib/Bytes.h"

const uint16_t MACHINE_I386 = 0x14C, MACHINE_AMD64 = 0x8664;

// A minimal PE image laid out as the linker lays out setup.exe: code, the
// resources (an icon group 23 with one icon, a named "LNG" text) and the
// base relocations behind them; PE32 for i386, PE32+ otherwise. A
// certificate, when given, stands among the resources as in an installer
// taken as stub. Without `resources` the image has code only.
Bytes MakeStub(const Bytes& certificate = {}, uint16_t machine = MACHINE_I386, bool resources = true);

void WriteBytes(const std::string& path, const Bytes& bytes);
Bytes ReadBytes(const std::string& path);

extern const char* const CONFIG;

// A folder's content: names relative to it, a folder's ending in '/', each
// after the folder it lies in.
struct TreeEntry {
    std::string name;
    std::string content;
};
// Names in Cyrillic, Greek, Japanese, accented Latin and one outside the
// BMP; empty files, empty folders and a deep one; app.exe at the top.
const std::vector<TreeEntry>& UnicodeTree();
void WriteTree(const std::string& root, const std::vector<TreeEntry>& tree);
// `zip` verifies and holds `tree`: every file with its bytes (by size and
// CRC-32), every empty folder, nothing else; names not ASCII flagged UTF-8.
void ExpectArchiveHoldsTree(const Bytes& zip, const std::vector<TreeEntry>& tree);

// The plain archive of an installer's container of `type` (CONTAINER_CORE
// or CONTAINER_CUSTOM); empty when it has none.
Bytes InstallerArchive(const Bytes& installer, uint32_t type);
// The installer with its core container holding `zip` instead (the core
// container must be the last one).
Bytes WithCoreArchive(const Bytes& installer, const Bytes& zip);

class KxpackCliTest : public ::testing::Test {
protected:
    static void SetUpTestSuite();
    static void TearDownTestSuite();
    // setup.exe (the stand-in) and product/ in the scratch folder.
    void SetUp() override;

    // kxpack build of product/ with setup.exe into out.exe, then `extra`.
    std::vector<std::string> BuildArgs(std::vector<std::string> extra = {}, const std::string& key = "main") const;
    ToolResult Build(std::vector<std::string> extra = {}, const std::string& key = "main");
    // A failed build says `message` in one line, exits non-zero, and leaves
    // the earlier output and no scratch files.
    ToolResult ExpectBuildFails(const std::string& message, std::vector<std::string> extra = {},
                                const std::string& key = "main");

    static CScratchFolder* s_keys;
    CScratchFolder m_dir;
};
