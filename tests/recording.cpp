// Checks what a sound card recorded, as raw frames of 22100 Hz, stereo,
// signed 16-bit little-endian samples (sox turns its WAV file into
// those), against the programmes of the clips that were played, in
// order.  Byte x of a programme must arrive as the frame
// ((x - 128) * 256) in both channels, the whole programme contiguous and
// exact.  Between and after programmes, silence (frames of 0) and stale
// frames are allowed and counted; before the first, silence only.  A
// programme that differs is diagnosed: frames inserted and dropped, and
// where.
// Usage: recording FRAMES CLIPFILE...
#include <cstdint>
#include <cstdio>
#include <string>

#include "expected.h"

namespace {

using Frames = std::vector<uint32_t>;

// Every programme opens with five passes of silence, value 0: this many
// frames of it mark a programme's start beyond doubt.
constexpr size_t startRun = 1000;
// How far ahead a diagnosis looks to find the stream again.
constexpr size_t resyncReach = 64;
constexpr size_t resyncWindow = 16;

uint32_t frameOf(unsigned char x)
{
    const uint16_t v = static_cast<uint16_t>((x - 128) * 256);
    return v | static_cast<uint32_t>(v) << 16;
}

bool readFrames(const char *path, Frames &frames)
{
    expected::Bytes raw;
    if (!expected::readBytes(path, raw))
        return false;
    for (size_t k = 0; k + 4 <= raw.size(); k += 4)
        frames.push_back(static_cast<uint32_t>(raw[k] | raw[k + 1] << 8 | raw[k + 2] << 16) |
                         static_cast<uint32_t>(raw[k + 3]) << 24);
    return true;
}

bool sameRun(const Frames &got, size_t g, const Frames &want, size_t w,
             size_t n)
{
    if (g + n > got.size() || w + n > want.size())
        return false;
    return std::equal(want.begin() + static_cast<long>(w),
                      want.begin() + static_cast<long>(w + n),
                      got.begin() + static_cast<long>(g));
}

// Follows a programme that differs, finding it again after frames that
// were inserted or dropped, and says how much of each and where.  Gives
// the frame after the programme's end as recorded.
size_t diagnose(const Frames &got, size_t start, const Frames &want)
{
    size_t g = start, w = 0, inserted = 0, insertions = 0, dropped = 0,
           drops = 0, shown = 0;
    while (w < want.size() && g < got.size()) {
        if (got[g] == want[w]) {
            ++g;
            ++w;
            continue;
        }
        size_t d = 1;
        for (; d <= resyncReach; ++d) {
            if (sameRun(got, g + d, want, w, resyncWindow)) {
                inserted += d;
                ++insertions;
                g += d;
                break;
            }
            if (sameRun(got, g, want, w + d, resyncWindow)) {
                dropped += d;
                ++drops;
                w += d;
                break;
            }
        }
        if (shown++ < 5)
            printf("  at programme frame %zu: %s\n", w,
                   d > resyncReach ? "lost, no resync" : "resynced");
        if (d > resyncReach)
            break;
    }
    printf("  %zu frames inserted in %zu places, %zu dropped in %zu places\n",
           inserted, insertions, dropped, drops);
    return g;
}

// Counts and reports the silent and the stale frames in [from, to).
size_t reportStale(const Frames &got, size_t from, size_t to, const char *where, int n)
{
    size_t silent = 0, stale = 0;
    for (size_t k = from; k < to; ++k)
        (got[k] == 0 ? silent : stale)++;
    printf("%s %d: %zu silent frames, %zu stale frames\n", where, n, silent, stale);
    return stale;
}

} // namespace

int main(int argc, char *argv[])
{
    if (argc < 3) {
        fprintf(stderr, "usage: recording FRAMES CLIPFILE...\n");
        return 2;
    }
    Frames got;
    if (!readFrames(argv[1], got))
        return 1;
    bool ok = true;
    size_t cursor = 0;
    for (int c = 2; c < argc; ++c) {
        expected::Bytes clip;
        if (!expected::readBytes(argv[c], clip))
            return 1;
        Frames want;
        for (unsigned char x : expected::programme(clip))
            want.push_back(frameOf(x));
        // The first run of the opening silence that is long enough.
        size_t start = cursor, run = 0;
        for (; start < got.size() && run < startRun; ++start)
            run = got[start] == want[0] ? run + 1 : 0;
        start -= run;
        const size_t stale = reportStale(got, cursor, start, "before programme", c - 1);
        if (run < startRun) {
            printf("programme %d (%s): not found\n", c - 1, argv[c]);
            return 1;
        }
        if (c == 2 && stale > 0) {
            printf("stale frames before the first programme\n");
            ok = false;
        }
        if (sameRun(got, start, want, 0, want.size())) {
            printf("programme %d (%s): %zu frames exact from frame %zu\n",
                   c - 1, argv[c], want.size(), start);
            cursor = start + want.size();
        } else {
            printf("programme %d (%s): differs\n", c - 1, argv[c]);
            cursor = diagnose(got, start, want);
            ok = false;
        }
    }
    reportStale(got, cursor, got.size(), "after programme", argc - 2);
    return ok ? 0 : 1;
}
