// The programme a clip should give, worked out position by position from
// closed forms rather than chunk by chunk as the transform does it.
#ifndef QUORVEL_EXPECTED_H
#define QUORVEL_EXPECTED_H

#include <algorithm>
#include <cstdio>
#include <vector>

#include "Quorvel.h"

namespace expected {

using Bytes = std::vector<unsigned char>;

// Bytes a pass keeps of a clip of size >= 2 at chunk length n: every chunk
// starts below size - 1, and the last is one byte short.
inline int passLength(int size, int n)
{
    const int chunks = std::max(1, (size - 1 + n) / (n + 1));
    return chunks * n - 1;
}

// Byte k of such a pass: chunk k / n, offset k % n; past the clip, 0.
inline Bytes pass(const Bytes &clip, int n)
{
    const int size = static_cast<int>(clip.size());
    Bytes out(static_cast<size_t>(passLength(size, n)));
    for (int k = 0; k < static_cast<int>(out.size()); ++k) {
        const int from = k / n * (n + 1) + k % n;
        out[static_cast<size_t>(k)] =
            from < size ? clip[static_cast<size_t>(from)] : 0;
    }
    return out;
}

// The stream for a file's contents: a silent pass, then speed steps 1 to 5,
// each written five times; a clip of 0 or 1 bytes repeats the silent pass.
inline Bytes programme(Bytes clip)
{
    if (clip.size() > static_cast<size_t>(storeSize))
        clip.resize(static_cast<size_t>(storeSize));
    Bytes current(static_cast<size_t>(storeSize), 0);
    Bytes out;
    for (int speed = 0; speed < passCount; ++speed) {
        if (speed > 0 && clip.size() >= 2)
            current = pass(clip, 7 - speed);
        for (int w = 0; w < writesPerPass; ++w)
            out.insert(out.end(), current.begin(), current.end());
    }
    return out;
}

// Appends the file at path to into, or says why on standard error.
inline bool readBytes(const char *path, Bytes &into)
{
    FILE *in = fopen(path, "rb");
    if (in == nullptr) {
        perror(path);
        return false;
    }
    int c;
    while ((c = getc(in)) != EOF)
        into.push_back(static_cast<unsigned char>(c));
    fclose(in);
    return true;
}

} // namespace expected

#endif
