#include "package/PackageFormat.h"

#include <gtest/gtest.h>

#include <random>
#include <vector>

namespace {

std::vector<uint8_t> RandomBytes(size_t size, unsigned seed)
{
    std::mt19937 random(seed);
    std::vector<uint8_t> bytes(size);
    for (auto& byte : bytes)
        byte = static_cast<uint8_t>(random());
    return bytes;
}

TEST(PackageFormatTest, ScrambleRoundTripsForEveryLengthAndBothCodes)
{
    uint8_t key[SCRAMBLE_KEY_BYTES];
    GetRecordKey(key);
    for (size_t length : {1u, 15u, 16u, 17u, 31u, 32u, 33u, 47u, 100u, 4099u}) {
        std::vector<uint8_t> plain = RandomBytes(length, static_cast<unsigned>(length));
        std::vector<uint8_t> stored = plain;
        ScrambleRecord(stored.data(), static_cast<ptrdiff_t>(length), key);
        EXPECT_NE(plain, stored);
        for (ScrambleCode code : {ScrambleCode::Scalar, ScrambleCode::Sse2}) {
            std::vector<uint8_t> copy = stored;
            EXPECT_EQ(static_cast<ptrdiff_t>(length),
                      DescrambleRecordWith(code, copy.data(), static_cast<ptrdiff_t>(length), key));
            EXPECT_EQ(plain, copy) << "length " << length;
        }
    }
}

TEST(PackageFormatTest, DescrambleFollowsTheChainedXor)
{
    // plain[i] = stored[i] ^ (stored[i - 1] + key[i % 16]), stored[-1] = 0.
    const uint8_t* key = SIGNATURE_LAYER_KEY;
    std::vector<uint8_t> stored = RandomBytes(40, 7);
    std::vector<uint8_t> expected(stored.size());
    uint8_t prev = 0;
    for (size_t i = 0; i < stored.size(); ++i) {
        expected[i] = stored[i] ^ static_cast<uint8_t>(prev + key[i % 16]);
        prev = stored[i];
    }
    DescrambleRecord(stored.data(), static_cast<ptrdiff_t>(stored.size()), key);
    EXPECT_EQ(expected, stored);
}

TEST(PackageFormatTest, DescramblingInPiecesFromAnyIndexMatchesTheWhole)
{
    // A record read from the file in pieces: each piece descrambled with the
    // stored byte before it, at every alignment to the key and both codes.
    uint8_t key[SCRAMBLE_KEY_BYTES];
    GetRecordKey(key);
    std::vector<uint8_t> stored = RandomBytes(300, 11);
    std::vector<uint8_t> whole = stored;
    DescrambleRecord(whole.data(), static_cast<ptrdiff_t>(whole.size()), key);
    for (ScrambleCode code : {ScrambleCode::Scalar, ScrambleCode::Sse2}) {
        for (size_t start : {0u, 1u, 15u, 16u, 17u, 40u, 255u}) {
            for (size_t length : {1u, 16u, 33u, 45u}) {
                std::vector<uint8_t> piece(stored.begin() + start, stored.begin() + start + length);
                uint8_t previous = start ? stored[start - 1] : 0;
                EXPECT_EQ(static_cast<ptrdiff_t>(length),
                          DescrambleRecordFromWith(code, piece.data(), static_cast<ptrdiff_t>(length), key, start,
                                                   previous));
                EXPECT_TRUE(std::equal(piece.begin(), piece.end(), whole.begin() + start))
                    << "from " << start << ", " << length << " bytes";
            }
        }
    }
    // Indexes past 4 GB, as in the largest records: only the index modulo 16 counts.
    std::vector<uint8_t> piece(stored.begin() + 20, stored.begin() + 52);
    DescrambleRecordFrom(piece.data(), 32, key, 0x100000000ull + 20, stored[19]);
    EXPECT_TRUE(std::equal(piece.begin(), piece.end(), whole.begin() + 20));
}

TEST(PackageFormatTest, NothingToDescramble)
{
    uint8_t byte = 0x5A;
    EXPECT_EQ(0, DescrambleRecord(nullptr, 4, SIGNATURE_LAYER_KEY));
    EXPECT_EQ(0, DescrambleRecord(&byte, 0, SIGNATURE_LAYER_KEY));
    EXPECT_EQ(0, DescrambleRecord(&byte, -1, SIGNATURE_LAYER_KEY));
    ScrambleRecord(&byte, -1, SIGNATURE_LAYER_KEY);
    EXPECT_EQ(0x5A, byte);
}

TEST(PackageFormatTest, KeysDifferAndRecordKeyIsStable)
{
    uint8_t first[SCRAMBLE_KEY_BYTES], second[SCRAMBLE_KEY_BYTES];
    GetRecordKey(first);
    GetRecordKey(second);
    EXPECT_EQ(0, memcmp(first, second, SCRAMBLE_KEY_BYTES));
    EXPECT_NE(0, memcmp(first, SIGNATURE_LAYER_KEY, SCRAMBLE_KEY_BYTES));
}

TEST(PackageFormatTest, HeaderValidity)
{
    ContainerHeader header{};
    header.magic1 = CONTAINER_MAGIC_1;
    header.magic2 = CONTAINER_MAGIC_2;
    header.created = 1;
    header.type = CONTAINER_UNINSTALL;
    header.recordCount = 100;
    EXPECT_TRUE(header.IsValid(CONTAINER_MAX_TYPE));
    EXPECT_FALSE(header.IsValid(CONTAINER_CORE));

    const uint8_t* bytes = reinterpret_cast<const uint8_t*>(&header);
    EXPECT_EQ(0x4B, bytes[0]);
    EXPECT_EQ(0x58, bytes[2]);
    EXPECT_EQ(0x32, bytes[4]);
    EXPECT_EQ(0x34, bytes[6]);

    ContainerHeader tooMany = header;
    tooMany.recordCount = 101;
    ContainerHeader noTime = header;
    noTime.created = 0;
    ContainerHeader badType = header;
    badType.type = 8;
    ContainerHeader badMagic = header;
    badMagic.magic2 ^= 1;
    for (const auto& bad : {tooMany, noTime, badType, badMagic})
        EXPECT_FALSE(bad.IsValid(CONTAINER_MAX_TYPE));
}

TEST(PackageFormatTest, SplitSignedPayloadRejectsShortAndMalformed)
{
    size_t stream = 0;
    uint32_t unpacked = 0;
    auto payload = [](std::vector<uint8_t> body, uint32_t size, uint32_t marker) {
        body.insert(body.end(), reinterpret_cast<uint8_t*>(&size), reinterpret_cast<uint8_t*>(&size) + 4);
        body.insert(body.end(), reinterpret_cast<uint8_t*>(&marker), reinterpret_cast<uint8_t*>(&marker) + 4);
        return body;
    };
    auto good = payload({0x01, 0x11, 0x00, 0x00}, 9, SIGNED_TRAILER_MARKER);
    ASSERT_TRUE(SplitSignedPayload(good.data(), good.size(), &stream, &unpacked));
    EXPECT_EQ(4u, stream);
    EXPECT_EQ(9u, unpacked);

    auto noMarker = payload({0x11, 0x00, 0x00}, 9, 0x00FAACC3);
    auto zeroSize = payload({0x11, 0x00, 0x00}, 0, SIGNED_TRAILER_MARKER);
    auto shortStream = payload({0x00, 0x00}, 9, SIGNED_TRAILER_MARKER);
    auto noEndMarker = payload({0x11, 0x00, 0x01}, 9, SIGNED_TRAILER_MARKER);
    for (const auto& bad : {noMarker, zeroSize, shortStream, noEndMarker})
        EXPECT_FALSE(SplitSignedPayload(bad.data(), bad.size(), &stream, &unpacked));
    // Shorter than the trailer: never read before the buffer.
    EXPECT_FALSE(SplitSignedPayload(good.data() + good.size() - 7, 7, &stream, &unpacked));
    EXPECT_FALSE(SplitSignedPayload(nullptr, 16, &stream, &unpacked));
}

} // namespace
