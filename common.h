// What both programs share at build time: the fixed texts, the player's
// name, how messages show names, and the care taken with the standard
// descriptors.
#ifndef QUORVEL_COMMON_H
#define QUORVEL_COMMON_H

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

// The usage text, "No audio file specified.\nUse: %s <audioFile>\n", in
// the two pieces around the program's name.
constexpr const char usageHead[] = "No audio file specified.\nUse: ";
constexpr const char usageTail[] = " <audioFile>\n";
constexpr const char announcement[] = "Launching audio player...";
constexpr const char playerName[] = "aplay";

// stderr is unbuffered, so a message pieced together from several calls
// would leave in several writes and could interleave with the player's
// own lines; a buffer of its own makes it one write.  Every message ends
// the process, so the buffer is never taken away again.
inline void startMessage()
{
    static char line[BUFSIZ];
    setvbuf(stderr, line, _IOFBF, sizeof line);
}

// A name from the command line may hold anything but NUL.  Shown raw, a
// control byte could retitle or clear the terminal, or a newline forge a
// second message, so control bytes and the backslash are shown escaped;
// every other byte stands as it is, so UTF-8 names read as they are.
inline void putName(const char *name)
{
    for (const char *p = name; *p != '\0'; ++p) {
        const unsigned char c = static_cast<unsigned char>(*p);
        if (c == '\\')
            fputs("\\\\", stderr);
        else if (c == '\n')
            fputs("\\n", stderr);
        else if (c == '\t')
            fputs("\\t", stderr);
        else if (c < 0x20 || c == 0x7f)
            fprintf(stderr, "\\%03o", c);
        else
            putc(c, stderr);
    }
}

// Ends the process with status 1 after "Error WHAT NAME: REASON".
// _exit leaves alone the stdio buffers that a forked child shares with
// its parent, so the message is flushed by hand.
[[noreturn]] inline void failWith(const char *what, const char *name)
{
    const int error = errno;
    startMessage();
    fputs("Error ", stderr);
    fputs(what, stderr);
    putName(name);
    fprintf(stderr, ": %s\n", strerror(error));
    fflush(stderr);
    _exit(1);
}

// argv[0] is missing when a program is started with an empty argument
// vector, and empty when its caller passes ""; the usage text still needs
// a name to show.
inline void showUsage(int argc, char *argv[], const char *builtInName)
{
    const bool named = argc > 0 && argv[0] != nullptr && argv[0][0] != '\0';
    startMessage();
    fputs(usageHead, stderr);
    putName(named ? argv[0] : builtInName);
    fputs(usageTail, stderr);
    fflush(stderr);
}

// A program started with descriptor 0, 1 or 2 closed would get its pipe
// ends there: a message to a closed stderr would then go into the pipe
// and be played as audio.  Each closed one is opened on /dev/null first;
// open takes the lowest free descriptor, which is the one just found
// closed, since those below it are open by then.
inline void openStandardDescriptors()
{
    for (int fd = STDIN_FILENO; fd <= STDERR_FILENO; ++fd) {
        if (fcntl(fd, F_GETFD) >= 0 || errno != EBADF)
            continue;
        if (open("/dev/null", O_RDWR) < 0)
            failWith("opening ", "/dev/null");
    }
}

// Moving a pipe end onto the descriptor it already has would close the
// very descriptor just set up, so close the original only when it moved.
inline int moveDescriptor(int from, int to)
{
    if (from == to)
        return 0;
    if (dup2(from, to) < 0)
        return -1;
    return close(from);
}

#endif
