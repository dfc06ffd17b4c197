// Files written by the entry writer, inline and on threads: contents, the
// order in which one file's writers win, failures and what is reported.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "archive/EntryWriter.h"
#include "support/TempFolder.h"
#include "support/TestPackage.h"
#include "support/TestZip.h"

namespace {

struct Entry {
    std::wstring name;
    ByteVector bytes;
};

class EntryWriterTest : public ::testing::TestWithParam<unsigned> {
protected:
    // Hands every entry over as the extraction does; the slot is the index.
    bool WriteAll(CEntryWriter& writer, const std::vector<Entry>& entries)
    {
        for (unsigned i = 0; i < entries.size(); ++i) {
            uint8_t* data = nullptr;
            uint32_t size = static_cast<uint32_t>(entries[i].bytes.size());
            if (!writer.GetBuffer(size + 2, &data))
                return false;
            memcpy(data, entries[i].bytes.data(), size);
            if (!writer.Submit(m_folder.Path(entries[i].name).c_str(), size, i))
                return false;
        }
        return true;
    }
    static ByteVector Filled(size_t size, uint8_t value) { return ByteVector(size, value); }
    ByteVector Contents(const std::wstring& name)
    {
        ByteVector bytes;
        EXPECT_TRUE(ReadBytes(m_folder.Path(name), bytes)) << std::string(name.begin(), name.end());
        return bytes;
    }
    std::vector<unsigned> Unwritten(const CEntryWriter& writer)
    {
        std::vector<unsigned> slots;
        for (unsigned i = 0; i < writer.GetUnwrittenSlots().GetCount(); ++i)
            slots.push_back(writer.GetUnwrittenSlots()[i]);
        return slots;
    }

    CTempFolder m_folder;
};

TEST_P(EntryWriterTest, LaterEntriesForOneFileWinAsInArchiveOrder)
{
    // Spellings of one file name, big entries first, so that a later small
    // one would finish first if it were not held back.
    for (int round = 0; round < 10; ++round) {
        std::vector<Entry> entries = {{L"same.txt", Filled(3000000, 'a')},
                                      {L"other.bin", Filled(2000000, 'o')},
                                      {L"SAME.TXT", Filled(1000000, 'b')},
                                      {L"Same.txt. ", Filled(10, 'c')}};
        CreateDirectoryW(m_folder.Path(L"sub").c_str(), nullptr);
        entries.push_back({L"sub\\deep.txt", Filled(2000000, 'd')});
        entries.push_back({L"SUB.\\DEEP.TXT", Filled(7, 'e')});
        CEntryWriter writer(GetParam());
        ASSERT_TRUE(WriteAll(writer, entries));
        ASSERT_TRUE(writer.Finish());
        EXPECT_TRUE(Filled(10, 'c') == Contents(L"same.txt")) << round;
        EXPECT_TRUE(Filled(7, 'e') == Contents(L"sub\\deep.txt")) << round;
        EXPECT_TRUE(Filled(2000000, 'o') == Contents(L"other.bin")) << round;
        EXPECT_TRUE(Unwritten(writer).empty());
    }
}

TEST_P(EntryWriterTest, AFileThatCannotBeOpenedStopsTheRest)
{
    ASSERT_TRUE(WriteBytes(m_folder.Path(L"locked.dat"), Bytes("old")));
    HANDLE inUse = CreateFileW(m_folder.Path(L"locked.dat").c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, inUse);
    std::vector<Entry> entries = {{L"first.dat", Filled(500000, 1)}, {L"locked.dat", Filled(100, 2)}};
    for (int i = 0; i < 6; ++i)
        entries.push_back({L"after" + std::to_wstring(i) + L".dat", Filled(300000, 3)});
    CEntryWriter writer(GetParam());
    // Handing over stops being accepted once the failure is known.
    bool handedAll = WriteAll(writer, entries);
    SetLastError(0);
    EXPECT_FALSE(writer.Finish());
    EXPECT_EQ(static_cast<DWORD>(ERROR_SHARING_VIOLATION), GetLastError());
    CloseHandle(inUse);
    EXPECT_TRUE(Bytes("old") == Contents(L"locked.dat"));
    EXPECT_TRUE(Filled(500000, 1) == Contents(L"first.dat"));
    // The locked file and every later file that was not written are named;
    // the ones that were written are whole.
    std::vector<unsigned> unwritten = Unwritten(writer);
    ASSERT_FALSE(unwritten.empty());
    EXPECT_EQ(1u, unwritten.back()); // highest first
    for (unsigned slot = 2; slot < entries.size(); ++slot) {
        bool named = std::find(unwritten.begin(), unwritten.end(), slot) != unwritten.end();
        bool exists = GetFileAttributesW(m_folder.Path(entries[slot].name).c_str()) != INVALID_FILE_ATTRIBUTES;
        if (named || GetParam() <= 1)
            EXPECT_FALSE(exists) << slot; // one writer stops at the failure
        if (exists)
            EXPECT_TRUE(entries[slot].bytes == Contents(entries[slot].name)) << slot;
    }
    EXPECT_FALSE(handedAll && GetParam() == 0);
}

TEST_P(EntryWriterTest, StorageGrowsAndIsReused)
{
    std::vector<Entry> entries;
    for (size_t size : {1u, 4000000u, 3u, 4000001u, 0u, 70000u})
        entries.push_back({L"f" + std::to_wstring(entries.size()) + L".bin",
                           Filled(size, static_cast<uint8_t>(entries.size() + 1))});
    CEntryWriter writer(GetParam());
    ASSERT_TRUE(WriteAll(writer, entries));
    ASSERT_TRUE(writer.Finish());
    for (const Entry& entry : entries)
        EXPECT_TRUE(entry.bytes == Contents(entry.name)) << entry.bytes.size();
}

// No threads (as when none can start), one, and the extraction's two.
INSTANTIATE_TEST_SUITE_P(Writers, EntryWriterTest, ::testing::Values(0u, 1u, 2u, 4u));

} // namespace
