#include "stream/CxMemFile.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

// Exposes the capacity and ownership flag, which have no public accessor.
class ProbeMemFile : public CxMemFile {
public:
    using CxMemFile::CxMemFile;
    int32_t Capacity() const { return capacity; }
    bool Owns() const { return freeOnClose; }
    uint8_t* Raw() const { return buffer; }
    void ForcePosition(int32_t p) { position = p; }
    void ForceCapacity(int32_t c) { capacity = c; }
};

} // namespace

TEST(MemFile, OpenAndCapacitySteps) {
    ProbeMemFile f;
    ASSERT_TRUE(f.Open());
    EXPECT_FALSE(f.Open()); // already open
    EXPECT_EQ(f.Size(), 0);
    EXPECT_EQ(f.Tell(), 0);
    EXPECT_TRUE(f.Eof());
    EXPECT_TRUE(f.PutC('a'));
    EXPECT_EQ(f.Capacity(), 4096);

    std::vector<uint8_t> data(8192, 0x5a);
    ProbeMemFile g;
    ASSERT_TRUE(g.Open());
    EXPECT_EQ(g.Write(data.data(), 1, 4095), 4095u);
    EXPECT_EQ(g.Capacity(), 4096);
    EXPECT_EQ(g.Write(data.data(), 1, 1), 1u); // exactly full: no growth
    EXPECT_EQ(g.Capacity(), 4096);
    EXPECT_EQ(g.Write(data.data(), 1, 1), 1u); // 4097 bytes
    EXPECT_EQ(g.Capacity(), 8192);

    ProbeMemFile h;
    ASSERT_TRUE(h.Open());
    EXPECT_EQ(h.Write(data.data(), 4096, 1), 1u);
    EXPECT_EQ(h.Capacity(), 8192); // a multiple of the step takes one step more
    EXPECT_EQ(h.Size(), 4096);
    EXPECT_EQ(h.Tell(), 4096);
}

TEST(MemFile, WriteThenReadBack) {
    CxMemFile f;
    ASSERT_TRUE(f.Open());
    const char text[] = "0123456789";
    EXPECT_EQ(f.Write(text, 2, 5), 5u);
    EXPECT_TRUE(f.Seek(0, 0));
    char out[11] = {};
    EXPECT_EQ(f.Read(out, 1, 10), 10u);
    EXPECT_STREQ(out, text);
    EXPECT_TRUE(f.Eof());
    EXPECT_EQ(f.GetC(), -1);
    EXPECT_TRUE(f.Seek(-1, 2));
    EXPECT_EQ(f.GetC(), '9');
    EXPECT_TRUE(f.Seek(-3, 1));
    EXPECT_EQ(f.GetC(), '7');
}

TEST(MemFile, CallerBufferTakenOverOnGrowth) {
    auto* mem = static_cast<uint8_t*>(std::malloc(10));
    ASSERT_NE(mem, nullptr);
    std::memset(mem, 'x', 10);
    {
        ProbeMemFile f(mem, 10);
        EXPECT_EQ(f.Size(), 10);
        EXPECT_EQ(f.Capacity(), 10);
        EXPECT_FALSE(f.Owns());
        EXPECT_TRUE(f.Seek(0, 2));
        EXPECT_TRUE(f.PutC('y'));
        EXPECT_EQ(f.Capacity(), 4096);
        EXPECT_TRUE(f.Owns());
        EXPECT_EQ(f.Size(), 11);
        EXPECT_EQ(f.Raw()[0], 'x');
        EXPECT_EQ(f.Raw()[10], 'y');
    } // the stream now frees the (reallocated) buffer: ASan checks there is no leak
}

TEST(MemFile, CallerBufferNotFreedOnClose) {
    uint8_t mem[10] = {1, 2, 3};
    CxMemFile f(mem, 10);
    EXPECT_TRUE(f.Close());
    // Close left the borrowed buffer alone and the stream still reads it.
    EXPECT_EQ(f.Size(), 10);
    EXPECT_EQ(f.GetC(), 1);
}

TEST(MemFile, SeekClampsAndRejects) {
    CxMemFile f;
    ASSERT_TRUE(f.Open());
    std::vector<uint8_t> data(20, 1);
    f.Write(data.data(), 1, 20);
    EXPECT_TRUE(f.Seek(-5, 0));
    EXPECT_EQ(f.Tell(), 0);
    EXPECT_TRUE(f.Seek(-50, 2));
    EXPECT_EQ(f.Tell(), 0);
    EXPECT_FALSE(f.Seek(0, 3));
    EXPECT_FALSE(f.Seek(0, -1));

    EXPECT_TRUE(f.Seek(10, 2)); // beyond the end
    EXPECT_EQ(f.Tell(), 30);
    EXPECT_EQ(f.Error(), 1);
    EXPECT_TRUE(f.Eof());
    uint8_t out[4];
    EXPECT_EQ(f.Read(out, 1, 4), 0u);

    // A position past the largest signed 32-bit value is refused.
    EXPECT_TRUE(f.Seek(INT32_MAX, 0));
    EXPECT_FALSE(f.Seek(1, 1));
    EXPECT_EQ(f.Tell(), INT32_MAX);
}

TEST(MemFile, WritePastEndZeroFillsGapAndGrowsSize) {
    CxMemFile f;
    ASSERT_TRUE(f.Open());
    EXPECT_TRUE(f.Seek(100, 0));
    EXPECT_EQ(f.Error(), 1);
    EXPECT_TRUE(f.PutC(9));
    EXPECT_EQ(f.Size(), 101);
    EXPECT_EQ(f.Error(), 0);
    EXPECT_TRUE(f.Seek(5000, 0));
    EXPECT_EQ(f.Write("ab", 1, 2), 2u);
    EXPECT_EQ(f.Size(), 5002);

    // The gaps read back as zeros, the written bytes as written.
    std::vector<uint8_t> back(5002, 0xEE);
    EXPECT_TRUE(f.Seek(0, 0));
    EXPECT_EQ(f.Read(back.data(), 1, back.size()), back.size());
    for (size_t i = 0; i < back.size(); ++i) {
        const uint8_t expected = i == 100 ? 9 : i == 5000 ? 'a' : i == 5001 ? 'b' : 0;
        ASSERT_EQ(back[i], expected) << i;
    }
}

TEST(MemFile, ShortReadCountsWholeItems) {
    CxMemFile f;
    ASSERT_TRUE(f.Open());
    std::vector<uint8_t> data(10);
    for (int i = 0; i < 10; ++i) data[i] = static_cast<uint8_t>(i);
    f.Write(data.data(), 1, 10);
    f.Seek(0, 0);
    uint8_t out[12] = {};
    EXPECT_EQ(f.Read(out, 4, 3), 2u);
    EXPECT_EQ(f.Tell(), 10); // the partial item is consumed
    EXPECT_EQ(out[9], 9);
    EXPECT_EQ(out[10], 0);
}

TEST(MemFile, DegenerateAndOversizedRequests) {
    ProbeMemFile f;
    ASSERT_TRUE(f.Open());
    uint8_t byte = 3;
    f.Write(&byte, 1, 1);
    f.Seek(0, 0);
    uint8_t out[4];
    EXPECT_EQ(f.Read(out, 0, 5), 0u); // item size 0: no division
    EXPECT_EQ(f.Read(out, 5, 0), 0u);
    EXPECT_EQ(f.Read(nullptr, 1, 1), 0u);
    EXPECT_EQ(f.Write(nullptr, 1, 1), 0u);
    EXPECT_EQ(f.Write(&byte, 0, 1), 0u);
    // size * count beyond 32 bits fails without touching the stream.
    EXPECT_EQ(f.Write(&byte, 0x10000, 0x10000), 0u);
    EXPECT_EQ(f.Read(out, 0x10000, 0x10000), 0u);
    EXPECT_EQ(f.Tell(), 0);
    // Position plus length past INT32_MAX fails.
    f.ForcePosition(INT32_MAX - 1);
    EXPECT_EQ(f.Write(out, 1, 2), 0u);
    f.ForcePosition(INT32_MAX);
    EXPECT_FALSE(f.PutC(1));
    EXPECT_EQ(f.Size(), 1);
}

TEST(MemFile, RefusedGrowthWritesNothing) {
    ProbeMemFile f;
    ASSERT_TRUE(f.Open());
    // The growth step would need a capacity of 2 GiB, beyond the signed 32-bit
    // range: it is refused, and the write must not go into the 1-byte buffer.
    f.ForcePosition(INT32_MAX - 10);
    uint8_t data[4] = {1, 2, 3, 4};
    EXPECT_EQ(f.Write(data, 1, 4), 0u);
    EXPECT_FALSE(f.PutC(1));
    EXPECT_EQ(f.Capacity(), 0);
    EXPECT_EQ(f.Size(), 0);
}

TEST(MemFile, GetBufferDetach) {
    CxMemFile f;
    ASSERT_TRUE(f.Open());
    f.Write("abc", 1, 3);
    uint8_t* mine = f.GetBuffer(true);
    ASSERT_NE(mine, nullptr);
    EXPECT_TRUE(f.Close());
    EXPECT_EQ(mine[0], 'a'); // still allocated: the caller owns it now
    std::free(mine);

    auto* mem = static_cast<uint8_t*>(std::malloc(4));
    CxMemFile g(mem, 4);
    EXPECT_EQ(g.GetBuffer(false), mem); // the stream frees it on Close
    EXPECT_TRUE(g.Close());
    EXPECT_EQ(g.Size(), -1);
}

TEST(MemFile, GrowingAfterDetachLeavesTheCallersBlockAlone) {
    uint8_t* mine = nullptr;
    {
        CxMemFile f;
        ASSERT_TRUE(f.Open());
        f.Write("abc", 1, 3);
        mine = f.GetBuffer(true);
        // Growth moves the stream into a block of its own, contents kept.
        std::vector<uint8_t> big(5000, 7);
        ASSERT_EQ(f.Write(big.data(), 1, big.size()), big.size());
        EXPECT_EQ(f.Size(), 5003);
        uint8_t* now = f.GetBuffer(false);
        EXPECT_NE(now, mine);
        EXPECT_EQ(now[0], 'a');
        EXPECT_EQ(now[5002], 7);
    } // the stream frees only its own block
    EXPECT_EQ(mine[2], 'c');
    std::free(mine);
}

TEST(MemFile, BasePutCGoesThroughWrite) {
    struct Counting : CxMemFile {
        int writes = 0;
        size_t Write(const void* b, size_t s, size_t c) override {
            ++writes;
            return CxMemFile::Write(b, s, c);
        }
    } f;
    ASSERT_TRUE(f.Open());
    EXPECT_TRUE(f.CxFile::PutC('z'));
    EXPECT_EQ(f.writes, 1);
    f.Seek(0, 0);
    EXPECT_EQ(f.GetC(), 'z');
}
