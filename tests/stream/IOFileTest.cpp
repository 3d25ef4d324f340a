#include "stream/CxIOFile.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <unistd.h>

namespace {

std::string TempPath(const char* tag) {
    return ::testing::TempDir() + "iofile_" + tag + "_" + std::to_string(::getpid());
}

} // namespace

TEST(IOFile, WithoutHandleEveryOperationFails) {
    CxIOFile f;
    char c = 0;
    EXPECT_EQ(f.Read(&c, 1, 1), 0u);
    EXPECT_EQ(f.Size(), -1);
    EXPECT_TRUE(f.Eof());
    EXPECT_EQ(f.GetC(), -1);
    EXPECT_TRUE(f.Close());
    EXPECT_FALSE(f.Open(nullptr, "rb"));
    EXPECT_FALSE(f.Open("/nonexistent-dir/none/x.bin", "rb"));
}

TEST(IOFile, OpenWriteSeekRead) {
    const std::string path = TempPath("rw");
    {
        CxIOFile f;
        ASSERT_TRUE(f.Open(path.c_str(), "w+b"));
        EXPECT_FALSE(f.Open(path.c_str(), "rb")); // already holds a handle
        EXPECT_EQ(f.Write("hello", 1, 5), 5u);
        EXPECT_TRUE(f.PutC('!'));
        EXPECT_TRUE(f.Flush());
        EXPECT_TRUE(f.Seek(1, 0));
        EXPECT_EQ(f.Size(), 6);
        EXPECT_EQ(f.Tell(), 1); // Size keeps the position
        EXPECT_EQ(f.GetC(), 'e');
        char rest[8] = {};
        EXPECT_EQ(f.Read(rest, 2, 3), 2u); // "llo!" is two whole items
        EXPECT_STREQ(rest, "llo!");
        EXPECT_EQ(f.GetC(), -1);
        EXPECT_TRUE(f.Eof());
        EXPECT_EQ(f.Error(), 0);
        EXPECT_TRUE(f.Close());
        EXPECT_TRUE(f.Eof()); // handle gone
    }
    std::remove(path.c_str());
}

TEST(IOFile, BorrowedFileLeftOpen) {
    const std::string path = TempPath("borrowed");
    FILE* fp = std::fopen(path.c_str(), "w+b");
    ASSERT_NE(fp, nullptr);
    {
        CxIOFile f(fp);
        EXPECT_FALSE(f.Open(path.c_str(), "rb"));
        EXPECT_EQ(f.Write("ab", 1, 2), 2u);
        EXPECT_TRUE(f.Close());
        EXPECT_EQ(f.Tell(), 2); // still holds the handle
    }
    // Neither Close nor the destructor closed the caller's stream.
    EXPECT_EQ(std::fputc('c', fp), 'c');
    EXPECT_EQ(std::fseek(fp, 0, SEEK_SET), 0);
    char buf[4] = {};
    EXPECT_EQ(std::fread(buf, 1, 3, fp), 3u);
    EXPECT_STREQ(buf, "abc");
    EXPECT_EQ(std::fclose(fp), 0);
    std::remove(path.c_str());
}
