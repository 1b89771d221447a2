// What both programs share at build time: the fixed texts, the player's
// name, and the careful move of a pipe end onto a standard descriptor.
#ifndef QUORVEL_COMMON_H
#define QUORVEL_COMMON_H

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <unistd.h>

constexpr const char usageText[] =
    "No audio file specified.\nUse: %s <audioFile>\n";
constexpr const char announcement[] = "Launching audio player...";
constexpr const char playerName[] = "aplay";

// Ends the process with status 1 after "Error WHAT OBJECT: REASON".
// stderr is unbuffered, and _exit leaves alone the stdio buffers that a
// forked child shares with its parent.
[[noreturn]] inline void failWith(const char *what, const char *object)
{
    fprintf(stderr, "Error %s%s: %s\n", what, object, strerror(errno));
    _exit(1);
}

// argv[0] is missing when a program is started with an empty argument
// vector; the usage text still needs a name to show.
inline const char *programName(int argc, char *argv[], const char *fallback)
{
    return argc > 0 && argv[0] != nullptr ? argv[0] : fallback;
}

// A program started with standard input or output closed gets its pipe
// ends on descriptor 0 or 1 already.  Closing the original then would
// close the very descriptor just set up, so close it only when it moved.
inline int moveDescriptor(int from, int to)
{
    if (from == to)
        return 0;
    if (dup2(from, to) < 0)
        return -1;
    return close(from);
}

#endif
