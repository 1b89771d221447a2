// The producer's side of the playback program: the clip, the speed
// transform, and the passes written into the pipe.
#include "Quorvel.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

unsigned char samples[storeSize];
int sampleSize;
unsigned char buf[storeSize];
int bufSize;

constexpr char readError[] = "Error reading from audio file\n";
constexpr char writeError[] = "Error copying from audio to FIFO\n";

// Every end of the producer goes through _exit, for the reason failWith
// gives.
[[noreturn]] static void failFixed(const char *message, size_t length)
{
    fwrite(message, 1, length, stderr);
    _exit(1);
}

// A pipe, FIFO or terminal hands over a clip in pieces: keep reading
// until the store is full or the file ends.
static ssize_t readFully(int fd, unsigned char *into, size_t want)
{
    size_t got = 0;
    while (got < want) {
        ssize_t n = read(fd, into + got, want - got);
        if (n == 0)
            break;
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return -1;
        }
        got += static_cast<size_t>(n);
    }
    return static_cast<ssize_t>(got);
}

// A pipe takes what fits; a pass counts only when all of it went in.
static bool writeFully(int fd, const unsigned char *from, size_t count)
{
    while (count > 0) {
        ssize_t n = write(fd, from, count);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        from += n;
        count -= static_cast<size_t>(n);
    }
    return true;
}

void getAudioSamples(const char *path)
{
    int fd = open(path, O_RDONLY);
    if (fd < 0)
        failWith("opening audio file ", path);
    ssize_t got = readFully(fd, samples, sizeof samples);
    if (got < 0)
        failFixed(readError, sizeof readError - 1);
    sampleSize = static_cast<int>(got);
    close(fd);
}

// Copies one chunk of n clip bytes, n from 1 to 6.  Chunks are too short
// for a library call each to pay, and the copy is the producer's inner
// loop.  Past the loaded clip the store holds nothing, and the chunk
// plays zeros there instead.
static void copyChunk(int from, int to, int n)
{
    const unsigned char *source = samples + from;
    unsigned char *target = buf + to;
    if (from + n > sampleSize) {
        for (int k = 0; k < n; ++k)
            target[k] = from + k < sampleSize ? source[k] : 0;
        return;
    }
    switch (n) {
    case 6: target[5] = source[5]; [[fallthrough]];
    case 5: target[4] = source[4]; [[fallthrough]];
    case 4: target[3] = source[3]; [[fallthrough]];
    case 3: target[2] = source[2]; [[fallthrough]];
    case 2: target[1] = source[1]; [[fallthrough]];
    default: target[0] = source[0];
    }
}

void setSamplesSpeed(int speed)
{
    if (speed == 0) {
        memset(buf, 0, sizeof buf);
        bufSize = storeSize;
        return;
    }
    const int last = sampleSize - 1;
    if (last <= 0)
        return;
    const int n = 7 - speed;
    int i = 0;
    int j = 0;
    do {
        copyChunk(i, j, n);
        j += n;
        i += n + 1;  // samples[i + n] is the byte dropped
    } while (i < last);
    // The pass ends one byte short: the last chunk's final byte is
    // copied but never played.
    bufSize = j - 1;
}

void audioMaker()
{
    for (int speed = 0; speed < passCount; ++speed) {
        setSamplesSpeed(speed);
        for (int w = 0; w < writesPerPass; ++w)
            if (!writeFully(STDOUT_FILENO, buf, static_cast<size_t>(bufSize)))
                failFixed(writeError, sizeof writeError - 1);
    }
    _exit(0);
}
