// Prints on standard output the stream the playback program should send
// to its player for the clip in the named file.
#include <cstdio>

#include "expected.h"

int main(int argc, char *argv[])
{
    if (argc != 2) {
        fprintf(stderr, "usage: programme CLIPFILE\n");
        return 2;
    }
    FILE *in = fopen(argv[1], "rb");
    if (in == nullptr) {
        perror(argv[1]);
        return 1;
    }
    expected::Bytes clip;
    int c;
    while ((c = getc(in)) != EOF)
        clip.push_back(static_cast<unsigned char>(c));
    fclose(in);
    const expected::Bytes out = expected::programme(clip);
    return fwrite(out.data(), 1, out.size(), stdout) == out.size() ? 0 : 1;
}
