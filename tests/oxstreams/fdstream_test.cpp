// Streams over descriptors: line reading, raw reads, output, clones and files.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>
#include <string>
#include <thread>

#include "oxstream.h"

using namespace std::string_literals;

namespace {
struct PipePair {
    int r = -1, w = -1;
    PipePair()
    {
        int p[2];
        EXPECT_EQ(pipe2(p, O_CLOEXEC), 0);
        r = p[0];
        w = p[1];
    }
    void put(const std::string &s) { ASSERT_EQ(::write(w, s.data(), s.size()), ssize_t(s.size())); }
    void close_w()
    {
        ::close(w);
        w = -1;
    }
    ~PipePair()
    {
        if (w >= 0)
            ::close(w);
    }
};

std::string slurp(const char *path)
{
    int fd = open(path, O_RDONLY | O_CLOEXEC);
    std::string s;
    char b[4096];
    ssize_t n;
    while ((n = ::read(fd, b, sizeof b)) > 0)
        s.append(b, size_t(n));
    close(fd);
    return s;
}
} // namespace

TEST(OxFDStream, GetlineNeverWaitsAndHandsOutOneLinePerCall)
{
    PipePair p;
    OxFDStream s(p.r, -1);
    OxString line;
    EXPECT_FALSE(s.getline(line, 0, '\n', 1024));
    p.put("one\ntwo\npart");
    ASSERT_TRUE(s.getline(line, 0, '\n', 1024));
    EXPECT_EQ(line.str(), "one");
    ASSERT_TRUE(s.getline(line, 0, '\n', 1024));
    EXPECT_EQ(line.str(), "two");
    EXPECT_FALSE(s.getline(line, 0, '\n', 1024));
    EXPECT_TRUE(s.isok());
    p.put("ial\nlast");
    ASSERT_TRUE(s.getline(line, 0, '\n', 1024));
    EXPECT_EQ(line.str(), "partial");
    EXPECT_FALSE(s.getline(line, 0, '\n', 1024));
    p.close_w();
    // The last line without a newline comes out once input has ended.
    ASSERT_TRUE(s.getline(line, 0, '\n', 1024));
    EXPECT_EQ(line.str(), "last");
    EXPECT_FALSE(s.getline(line, 0, '\n', 1024));
    EXPECT_FALSE(s.isok());
}

TEST(OxFDStream, StaysOkWhileLinesRemainAfterEnd)
{
    PipePair p;
    OxFDStream s(p.r, -1);
    p.put("a\nb\n");
    p.close_w();
    OxString line;
    EXPECT_EQ(s.runonce(1000), 1);
    EXPECT_TRUE(s.isok());
    ASSERT_TRUE(s.getline(line));
    EXPECT_TRUE(s.isok());
    ASSERT_TRUE(s.getline(line));
    EXPECT_EQ(line.str(), "b");
    EXPECT_FALSE(s.getline(line));
    EXPECT_FALSE(s.isok());
}

TEST(OxFDStream, OtherSeparatorAndNulBytes)
{
    PipePair p;
    OxFDStream s(p.r, -1);
    p.put("a\0b;c\nd;"s);
    OxString line;
    ASSERT_TRUE(s.getline(line, 0, ';'));
    EXPECT_EQ(line.str(), "a\0b"s);
    ASSERT_TRUE(s.getline(line, 0, ';'));
    EXPECT_EQ(line.str(), "c\nd");
}

TEST(OxFDStream, GetlineWaitsUpToTheLimit)
{
    PipePair p;
    OxFDStream s(p.r, -1);
    OxString line;
    long long t0 = ox_monotonic_ms();
    EXPECT_FALSE(s.getline(line, 150));
    long long waited = ox_monotonic_ms() - t0;
    EXPECT_GE(waited, 140);
    EXPECT_LT(waited, 2000);
    std::thread writer([&] {
        usleep(50000);
        p.put("late\n");
    });
    EXPECT_TRUE(s.getline(line, 5000));
    writer.join();
    EXPECT_EQ(line.str(), "late");
}

TEST(OxFDStream, ReadDrainsBufferedBytesFirstAndWaits)
{
    PipePair p;
    OxFDStream s(p.r, -1);
    p.put("ab\ncd");
    OxString line;
    ASSERT_TRUE(s.getline(line));
    OxDynBuf buf(16, 1024);
    EXPECT_EQ(s.read(buf, 2048), 2u);
    EXPECT_EQ(std::string(buf.take(2), 2), "cd");
    std::thread writer([&] {
        usleep(50000);
        p.put("xyz");
    });
    EXPECT_EQ(s.read(buf, 2), 2u);
    writer.join();
    EXPECT_EQ(std::string(buf.take(2), 2), "xy");
    EXPECT_TRUE(s.isreadable());
    EXPECT_EQ(s.read(buf, 2048), 1u);
    EXPECT_FALSE(s.isreadable());
    EXPECT_FALSE(s.select(20, true));
    p.close_w();
    EXPECT_TRUE(s.select(1000, true));
    EXPECT_EQ(s.read(buf, 2048), 0u);
    EXPECT_FALSE(s.isok());
}

TEST(OxFDStream, DelayedOutputLeavesInOneFlush)
{
    PipePair p;
    OxFDStream s(-1, p.w);
    p.w = -1;
    OxFDStream in(p.r, -1);
    s.delay_output(true);
    EXPECT_TRUE(s.print("%s-%s|", "a", 1));
    EXPECT_TRUE(s.write("b|"));
    EXPECT_FALSE(in.isreadable());
    EXPECT_TRUE(s.flush(0));
    OxDynBuf buf;
    EXPECT_EQ(in.read(buf, 100), 6u);
    EXPECT_EQ(std::string(buf.take(6), 6), "a-1|b|");
    s.delay_output(false);
    EXPECT_TRUE(s.print("now %%"));
    EXPECT_EQ(in.read(buf, 100), 5u);
    EXPECT_EQ(std::string(buf.take(5), 5), "now %");
}

TEST(OxFDStream, WriteToClosedReaderFailsWithoutSignal)
{
    PipePair p;
    ::close(p.r);
    OxFDStream s(-1, p.w);
    p.w = -1;
    EXPECT_FALSE(s.write("x"));
    EXPECT_FALSE(s.isok());
    EXPECT_EQ(s.geterr(), EPIPE);
}

TEST(OxFDStream, LargeWriteGoesOutWhole)
{
    PipePair p;
    auto out = std::make_unique<OxFDStream>(-1, p.w);
    p.w = -1;
    std::string big(1 << 20, 'q');
    std::string got;
    std::thread reader([&] {
        OxFDStream in(p.r, -1);
        OxDynBuf buf(1024, 1 << 16);
        size_t n;
        while ((n = in.read(buf, 65536)) > 0)
            got.append(buf.take(n), n);
    });
    EXPECT_TRUE(out->write(big.data(), big.size()));
    out.reset();                           // closes the write end: the reader sees the end
    reader.join();
    EXPECT_EQ(got.size(), big.size());
}

TEST(OxStreamClone, ForwardsToTarget)
{
    PipePair p;
    auto *target = new OxFDStream(p.r, -1);
    OxStreamClone c;
    EXPECT_FALSE(c.isok());
    EXPECT_FALSE(c.isreadable());
    c.setclone(target);
    EXPECT_EQ(c.getclone(), target);
    EXPECT_EQ(c.getrfd(), p.r);
    EXPECT_TRUE(c.isok());
    p.put("k\n");
    EXPECT_EQ(c.runonce(1000), 1);
    EXPECT_TRUE(c.isreadable());
    OxString line;
    EXPECT_TRUE(c.getline(line));
    EXPECT_EQ(line.str(), "k");
    delete target;
}

TEST(OxFile, WritesCreatesAndIsCloseOnExec)
{
    char dir[] = "/tmp/oxfileXXXXXX";
    ASSERT_NE(mkdtemp(dir), nullptr);
    std::string path = std::string(dir) + "/log";
    {
        OxFile f(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0666);
        EXPECT_TRUE(f.isok());
        EXPECT_FALSE(f.isreadable());
        EXPECT_GE(f.getwfd(), 0);
        EXPECT_EQ(fcntl(f.getwfd(), F_GETFD) & FD_CLOEXEC, FD_CLOEXEC);
        EXPECT_TRUE(f.print("%s\n", "first"));
        EXPECT_TRUE(f.isok());
    }
    EXPECT_EQ(slurp(path.c_str()), "first\n");
    {
        OxFile f(path.c_str(), O_RDONLY);
        OxString line;
        EXPECT_TRUE(f.getline(line));
        EXPECT_EQ(line.str(), "first");
        EXPECT_FALSE(f.getline(line));
        EXPECT_FALSE(f.isok());
    }
    OxFile missing((std::string(dir) + "/no/such").c_str(), O_RDONLY);
    EXPECT_FALSE(missing.isok());
    EXPECT_EQ(missing.geterr(), ENOENT);
    EXPECT_FALSE(missing.write("x"));
    unlink(path.c_str());
    rmdir(dir);
}
