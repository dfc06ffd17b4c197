// The read-ahead window gives the same bytes and positions as the file read
// directly, whatever mix of small reads, large reads and seeks comes.
#include <gtest/gtest.h>

#include <random>

#include "archive/ReadAhead.h"
#include "support/TempFolder.h"
#include "support/TestPackage.h"

namespace {

class ReadAheadTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        std::mt19937 random(7);
        m_bytes.resize(3 * CReadAhead::WINDOW_BYTES + 1234);
        for (uint8_t& byte : m_bytes)
            byte = static_cast<uint8_t>(random());
        ASSERT_TRUE(WriteBytes(m_folder.Path(L"data.bin"), m_bytes));
        ASSERT_TRUE(m_file.OpenRead(m_folder.Path(L"data.bin").c_str()));
        m_reader.Reset();
    }
    // The bytes a plain file would give from `position`.
    ByteVector Expected(int64_t position, unsigned bytes) const
    {
        if (position >= static_cast<int64_t>(m_bytes.size()))
            return {};
        size_t end = std::min(m_bytes.size(), static_cast<size_t>(position) + bytes);
        return ByteVector(m_bytes.begin() + static_cast<size_t>(position), m_bytes.begin() + end);
    }
    ByteVector Read(unsigned bytes)
    {
        ByteVector data(bytes + 1);
        data.resize(m_reader.Read(data.data(), bytes));
        return data;
    }

    CTempFolder m_folder;
    ByteVector m_bytes;
    CBinFile m_file;
    CReadAhead m_reader{m_file};
};

TEST_F(ReadAheadTest, RandomReadsAndSeeksMatchTheFile)
{
    std::mt19937 random(2024);
    const int64_t size = static_cast<int64_t>(m_bytes.size());
    int64_t position = 0;
    for (int step = 0; step < 4000; ++step) {
        unsigned op = random() % 5;
        switch (op) {
        case 0: { // header-sized reads, the common case
            unsigned bytes = 1 + random() % 46;
            ASSERT_TRUE(Expected(position, bytes) == Read(bytes)) << "step " << step;
            position = std::max(position, std::min(size, position + bytes)); // nothing moves past the end
            break;
        }
        case 1: { // block reads, some straight into the buffer
            unsigned bytes = random() % (CReadAhead::WINDOW_BYTES + 5000);
            ASSERT_TRUE(Expected(position, bytes) == Read(bytes)) << "step " << step;
            position = std::max(position, std::min(size, position + bytes)); // nothing moves past the end
            break;
        }
        case 2: {
            int64_t target = random() % (size + 100);
            ASSERT_EQ(target, m_reader.Seek(target, FILE_BEGIN));
            position = target;
            break;
        }
        case 3: {
            int64_t distance = static_cast<int64_t>(random() % 200000) - 100000;
            int64_t expected = position + distance < 0 ? -1 : position + distance;
            ASSERT_EQ(expected, m_reader.Seek(distance, FILE_CURRENT)) << step;
            if (expected >= 0)
                position = expected;
            break;
        }
        default: {
            int64_t back = random() % 70000;
            ASSERT_EQ(size - back, m_reader.Seek(-back, FILE_END));
            position = size - back;
            break;
        }
        }
        ASSERT_EQ(position, m_reader.GetPosition()) << step << " op " << op;
    }
}

TEST_F(ReadAheadTest, EndOfFileAndBadSeeks)
{
    const int64_t size = static_cast<int64_t>(m_bytes.size());
    ASSERT_EQ(size - 3, m_reader.Seek(-3, FILE_END));
    EXPECT_EQ(Expected(size - 3, 3), Read(10));
    EXPECT_TRUE(Read(1).empty());
    EXPECT_TRUE(Read(CReadAhead::WINDOW_BYTES).empty());
    // A position before the start is refused and the old one stays.
    EXPECT_EQ(-1, m_reader.Seek(-1, FILE_BEGIN));
    EXPECT_EQ(-1, m_reader.Seek(-size - 1, FILE_CURRENT));
    EXPECT_EQ(size, m_reader.GetPosition());
    EXPECT_EQ(-1, m_reader.Seek(0, 7));
    // Past the end reads nothing; back inside reads again.
    EXPECT_EQ(size + 10, m_reader.Seek(size + 10, FILE_BEGIN));
    EXPECT_TRUE(Read(5).empty());
    EXPECT_EQ(Expected(5, 20), (m_reader.Seek(5, FILE_BEGIN), Read(20)));
    // The file written anew under the reader: Reset forgets the window.
    m_file.Close();
    ByteVector changed(100, 0xAB);
    ASSERT_TRUE(WriteBytes(m_folder.Path(L"data.bin"), changed));
    ASSERT_TRUE(m_file.OpenRead(m_folder.Path(L"data.bin").c_str()));
    m_reader.Reset();
    EXPECT_EQ(ByteVector(10, 0xAB), Read(10));
}

} // namespace
