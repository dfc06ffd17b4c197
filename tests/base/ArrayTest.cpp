#include "base/Array.h"

#include <gtest/gtest.h>

#include <string>

namespace {

struct Pair {
    int key;
    int value;
};

int CompareKeys(const void* a, const void* b)
{
    int left = static_cast<const Pair*>(a)->key;
    int right = static_cast<const Pair*>(b)->key;
    return left < right ? -1 : left > right ? 1 : 0;
}

TEST(ArrayTest, GrowsInStepsOfSixteen)
{
    TArray<Pair, 16> items;
    EXPECT_TRUE(items.Reserve(0));
    EXPECT_EQ(0u, items.GetCapacity());

    EXPECT_TRUE(items.Reserve(1));
    EXPECT_EQ(16u, items.GetCapacity());
    for (int i = 0; i < 16; ++i)
        ASSERT_TRUE(items.Add(Pair{i, i * 10}));
    EXPECT_EQ(16u, items.GetCapacity());
    ASSERT_TRUE(items.Add(Pair{16, 160}));
    EXPECT_EQ(32u, items.GetCapacity());
    EXPECT_EQ(17u, items.GetCount());
    // Growth copied the elements.
    for (int i = 0; i < 17; ++i)
        EXPECT_EQ(i * 10, items[i].value);

    // A reserve of 16 on a full array grows by 32 (16 * (16 / 16 + 1)).
    TArray<Pair, 16> other;
    ASSERT_TRUE(other.Reserve(16));
    EXPECT_EQ(32u, other.GetCapacity());
}

TEST(ArrayTest, AddRejectsNothingToAdd)
{
    TArray<Pair, 16> items;
    EXPECT_FALSE(items.CArrayBase::Add(nullptr, 1));
    Pair p{1, 1};
    EXPECT_FALSE(items.CArrayBase::Add(&p, 0));
    EXPECT_EQ(0u, items.GetCount());
    EXPECT_EQ(nullptr, items.GetAt(0));
}

TEST(ArrayTest, ImpossibleGrowthLeavesArrayUnchanged)
{
    // 1 MB elements: some four billion of them are petabytes, beyond what a
    // 32-bit or a 64-bit program can address. A capacity past 32 bits cannot
    // even be counted.
    struct Block {
        unsigned char bytes[1 << 20];
    };
    TArray<Block, 16> blocks;
    ASSERT_TRUE(blocks.Reserve(1));
    for (unsigned n : {0xFFFFFF00u, 0xFFFFFFFFu}) {
        EXPECT_FALSE(blocks.Reserve(n)) << n;
        EXPECT_EQ(16u, blocks.GetCapacity());
        EXPECT_EQ(0u, blocks.GetCount());
    }
}

TEST(ArrayTest, InsertSortedKeepsOrderAndFindsEqual)
{
    TArray<Pair, 16> items;
    bool found = true;
    for (int key : {5, 1, 9, 3, 7}) {
        Pair* inserted = items.InsertSorted(Pair{key, key * 2}, CompareKeys, &found);
        ASSERT_NE(nullptr, inserted);
        EXPECT_FALSE(found);
        EXPECT_EQ(key, inserted->key);
    }
    ASSERT_EQ(5u, items.GetCount());
    for (unsigned i = 0; i < 5; ++i)
        EXPECT_EQ(static_cast<int>(2 * i + 1), items[i].key);

    Pair* existing = items.InsertSorted(Pair{7, -1}, CompareKeys, &found);
    EXPECT_TRUE(found);
    EXPECT_EQ(5u, items.GetCount());
    ASSERT_NE(nullptr, existing);
    EXPECT_EQ(14, existing->value);
    EXPECT_EQ(items.GetAt(3), existing);

    EXPECT_EQ(items.GetAt(2), items.BinarySearch(Pair{5, 0}, CompareKeys));
    EXPECT_EQ(nullptr, items.BinarySearch(Pair{4, 0}, CompareKeys));
    TArray<Pair, 16> empty;
    EXPECT_EQ(nullptr, empty.BinarySearch(Pair{4, 0}, CompareKeys));
}

TEST(ArrayTest, RemoveAtKeepsOrder)
{
    TArray<Pair, 16> items;
    for (int i = 0; i < 4; ++i)
        items.Add(Pair{i, 0});
    EXPECT_TRUE(items.RemoveAt(1));
    EXPECT_FALSE(items.RemoveAt(3));
    ASSERT_EQ(3u, items.GetCount());
    EXPECT_EQ(0, items[0].key);
    EXPECT_EQ(2, items[1].key);
    EXPECT_EQ(3, items[2].key);
    items.RemoveAll();
    EXPECT_EQ(0u, items.GetCount());
    EXPECT_EQ(0u, items.GetCapacity());
}

TEST(ArrayTest, StrArraySlotsAreCutAndTerminated)
{
    TStrArray<wchar_t[260], 16> paths;
    std::wstring longPath(300, L'p');
    ASSERT_TRUE(paths.Add(L"C:\\App\\a.dll"));
    ASSERT_TRUE(paths.Add(longPath.c_str()));
    ASSERT_EQ(2u, paths.GetCount());
    EXPECT_STREQ(L"C:\\App\\a.dll", paths[0]);
    EXPECT_EQ(longPath.substr(0, 259), paths[1]);
    // The rest of a slot is zeroed: slots are written to files as they stand.
    for (size_t i = 12; i < 260; ++i)
        ASSERT_EQ(0, paths[0][i]) << i;
}

} // namespace
