// Prints the stream the program should send its player for the clip in a file.
#include <cstdio>

#include "expected.h"

int main(int argc, char *argv[])
{
    if (argc != 2) {
        fprintf(stderr, "usage: programme CLIPFILE\n");
        return 2;
    }
    expected::Bytes clip;
    if (!expected::readBytes(argv[1], clip))
        return 1;
    const expected::Bytes out = expected::programme(clip);
    return fwrite(out.data(), 1, out.size(), stdout) == out.size() ? 0 : 1;
}
