// Unit tests of the producer's steps: the speed transform, the loader
// and the producer's handling of a failing output.
#include <cstring>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "Quorvel.h"
#include "expected.h"

namespace {

using expected::Bytes;

// A clip with no zero bytes and no period short enough to hide a
// misplaced chunk.
Bytes clipOf(int size)
{
    Bytes clip(static_cast<size_t>(size));
    unsigned state = 12345;
    for (auto &b : clip) {
        state = state * 1103515245u + 12345u;
        b = static_cast<unsigned char>(1 + (state >> 16) % 255);
    }
    return clip;
}

void load(const Bytes &clip)
{
    memset(samples, 0, sizeof samples);
    if (!clip.empty())
        memcpy(samples, clip.data(), clip.size());
    sampleSize = static_cast<int>(clip.size());
}

Bytes emitted()
{
    return Bytes(buf, buf + bufSize);
}

std::vector<int> lengthsFor(int size)
{
    load(clipOf(size));
    std::vector<int> lengths;
    for (int speed = 1; speed <= 5; ++speed) {
        setSamplesSpeed(speed);
        lengths.push_back(bufSize);
    }
    return lengths;
}

TEST(SpeedTransform, HandWorkedTwentyByteClip)
{
    Bytes clip;
    for (int v = 1; v <= 20; ++v)
        clip.push_back(static_cast<unsigned char>(v));
    load(clip);
    setSamplesSpeed(1);
    const Bytes want = {1, 2, 3, 4, 5, 6, 8, 9, 10, 11, 12, 13,
                        15, 16, 17, 18, 19};
    EXPECT_EQ(emitted(), want);
}

TEST(SpeedTransform, PassLengths)
{
    EXPECT_EQ(lengthsFor(20), (std::vector<int>{17, 19, 15, 14, 13}));
    EXPECT_EQ(lengthsFor(9), (std::vector<int>{11, 9, 7, 5, 5}));
    EXPECT_EQ(lengthsFor(2), (std::vector<int>{5, 4, 3, 2, 1}));
    EXPECT_EQ(lengthsFor(28600),
              (std::vector<int>{24515, 23834, 22879, 21449, 19065}));
}

TEST(SpeedTransform, TwoByteClipIsPaddedWithSilence)
{
    load({200, 100});
    setSamplesSpeed(1);
    EXPECT_EQ(emitted(), (Bytes{200, 100, 0, 0, 0}));
}

// The store holds whatever earlier loads left; only the clip's own bytes
// may be played, and silence past them.
TEST(SpeedTransform, NothingPastTheClipIsPlayed)
{
    memset(samples, 0xAA, sizeof samples);
    sampleSize = 9;
    memcpy(samples, clipOf(9).data(), 9);
    setSamplesSpeed(1);
    EXPECT_EQ(emitted(), expected::pass(clipOf(9), 6));
}

TEST(SpeedTransform, SweepOfSizesAgainstClosedForm)
{
    std::vector<int> sizes;
    for (int size = 2; size <= 300; ++size)
        sizes.push_back(size);
    for (int size = 301; size < storeSize; size += 379)
        sizes.push_back(size);
    sizes.push_back(storeSize - 1);
    sizes.push_back(storeSize);
    for (int size : sizes) {
        const Bytes clip = clipOf(size);
        load(clip);
        for (int speed = 1; speed <= 6; ++speed) {
            setSamplesSpeed(speed);
            ASSERT_EQ(bufSize, expected::passLength(size, 7 - speed))
                << "size " << size << " speed " << speed;
            ASSERT_TRUE(emitted() == expected::pass(clip, 7 - speed))
                << "size " << size << " speed " << speed;
        }
    }
}

TEST(SpeedTransform, ClipOfZeroOrOneByteKeepsThePreviousPass)
{
    for (int size : {0, 1}) {
        memset(buf, 0x5A, sizeof buf);
        bufSize = 1234;
        load(clipOf(size));
        for (int speed = 1; speed <= 6; ++speed) {
            setSamplesSpeed(speed);
            EXPECT_EQ(bufSize, 1234);
            EXPECT_EQ(emitted(), Bytes(1234, 0x5A));
        }
    }
}

TEST(SpeedTransform, StepZeroIsAFullPassOfSilenceAfterAnyStep)
{
    for (int size : {0, 1, 2, 9, 20, storeSize - 1, storeSize}) {
        load(clipOf(size));
        for (int before = 0; before <= 6; ++before) {
            memset(buf, 0x77, sizeof buf);
            setSamplesSpeed(before);
            setSamplesSpeed(0);
            ASSERT_EQ(bufSize, storeSize);
            ASSERT_EQ(emitted(), Bytes(storeSize, 0));
        }
    }
}

class Loader : public ::testing::Test {
  protected:
    std::string dir;

    void SetUp() override
    {
        // In the folder the test runs in, its build folder.
        char name[] = "quorvel-unit-XXXXXX";
        ASSERT_NE(mkdtemp(name), nullptr);
        dir = name;
    }
    void TearDown() override
    {
        std::string rm = "rm -rf '" + dir + "'";
        ASSERT_EQ(system(rm.c_str()), 0);
    }
    std::string fileOf(const Bytes &contents)
    {
        const std::string path = dir + "/clip.raw";
        FILE *f = fopen(path.c_str(), "wb");
        if (!contents.empty())
            fwrite(contents.data(), 1, contents.size(), f);
        fclose(f);
        return path;
    }
    Bytes loaded()
    {
        return Bytes(samples, samples + sampleSize);
    }
};

TEST_F(Loader, TakesAtMostTheFirstStoreSizeBytes)
{
    for (int size : {0, 1, 20, storeSize, 40000}) {
        const Bytes clip = clipOf(size);
        getAudioSamples(fileOf(clip).c_str());
        const auto kept = static_cast<long>(std::min(size, storeSize));
        EXPECT_EQ(loaded(), Bytes(clip.begin(), clip.begin() + kept));
    }
}

// A FIFO hands the clip over in the pieces its writer writes.
TEST_F(Loader, ReadsAFifoToTheEnd)
{
    const std::string path = dir + "/fifo";
    ASSERT_EQ(mkfifo(path.c_str(), 0600), 0);
    const Bytes clip = clipOf(storeSize + 100);
    const pid_t writer = fork();
    ASSERT_GE(writer, 0);
    if (writer == 0) {
        const int fd = open(path.c_str(), O_WRONLY);
        for (size_t at = 0; at < clip.size(); at += 1000) {
            const size_t n = std::min<size_t>(1000, clip.size() - at);
            if (write(fd, clip.data() + at, n) != static_cast<ssize_t>(n))
                _exit(1);
            usleep(1000);
        }
        _exit(0);
    }
    getAudioSamples(path.c_str());
    int status;
    waitpid(writer, &status, 0);
    EXPECT_EQ(loaded(), Bytes(clip.begin(), clip.begin() + storeSize));
}

TEST_F(Loader, FailuresEndTheProcessWithAMessage)
{
    const std::string missing = dir + "/missing.raw";
    EXPECT_EXIT(getAudioSamples(missing.c_str()),
                ::testing::ExitedWithCode(1),
                "^Error opening audio file " + missing +
                    ": No such file or directory\n$");
    EXPECT_EXIT(getAudioSamples(dir.c_str()), ::testing::ExitedWithCode(1),
                "^Error reading from audio file\n$");
}

TEST(Producer, FailedWriteEndsWithTheMessage)
{
    EXPECT_EXIT(
        {
            const int full = open("/dev/full", O_WRONLY);
            dup2(full, STDOUT_FILENO);
            sampleSize = 0;
            audioMaker();
        },
        ::testing::ExitedWithCode(1), "^Error copying from audio to FIFO\n$");
}

} // namespace
