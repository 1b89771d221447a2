// What both programs share at build time: the fixed texts, the player's
// name, how messages show names, and the care taken with the standard
// descriptors.
#ifndef QUORVEL_COMMON_H
#define QUORVEL_COMMON_H

#include <cerrno>
#include <climits>
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

// The longest message a name can make: a path of PATH_MAX bytes, every
// byte shown as \ooo, and the words and reason around it.
constexpr size_t messageSize = 4 * PATH_MAX + 256;

// stderr is unbuffered, so a message pieced together from several calls
// would leave in several writes and could interleave with the player's
// own lines; a buffer of its own, large enough for any path, makes it one
// write.  Every message ends the process, so the buffer is never taken
// away again.
inline void startMessage()
{
    static char line[messageSize];
    setvbuf(stderr, line, _IOFBF, sizeof line);
}

// The length of the UTF-8 character at p when it is one a terminal shows
// as text, U+00A0 or above; 0 for a byte that starts none, for overlong
// or surrogate forms, and for the C1 controls U+0080 to U+009F.
inline int printableUtf8Length(const unsigned char *p)
{
    int length = 0;
    unsigned long least = 0xa0;
    if (p[0] >= 0xc2 && p[0] <= 0xdf) {
        length = 2;
    } else if (p[0] >= 0xe0 && p[0] <= 0xef) {
        length = 3;
        least = 0x800;
    } else if (p[0] >= 0xf0 && p[0] <= 0xf4) {
        length = 4;
        least = 0x10000;
    } else {
        return 0;
    }
    unsigned long code = p[0] & (0x7fu >> length);
    for (int k = 1; k < length; ++k) {
        if ((p[k] & 0xc0) != 0x80)  // the NUL that ends a name too
            return 0;
        code = code << 6 | (p[k] & 0x3fu);
    }
    const bool surrogate = code >= 0xd800 && code <= 0xdfff;
    return code < least || code > 0x10ffff || surrogate ? 0 : length;
}

// One byte of a name that is not part of a printable UTF-8 character.
inline void putByte(unsigned char c)
{
    if (c == '\\')
        fputs("\\\\", stderr);
    else if (c == '\n')
        fputs("\\n", stderr);
    else if (c == '\t')
        fputs("\\t", stderr);
    else if (c < 0x20 || c >= 0x7f)
        fprintf(stderr, "\\%03o", c);
    else
        putc(c, stderr);
}

// A name from the command line may hold anything but NUL.  Shown raw, a
// control byte could retitle or clear the terminal, or a newline forge a
// second message; a C1 control such as U+009B (CSI) does the same on a
// terminal that honours them.  So control bytes, C1 controls, bytes that
// are not valid UTF-8 and the backslash are shown escaped; every other
// character stands as it is, so UTF-8 names read as they are.
inline void putName(const char *name)
{
    const unsigned char *p = reinterpret_cast<const unsigned char *>(name);
    while (*p != '\0') {
        const int length = printableUtf8Length(p);
        if (length > 0) {
            fwrite(p, 1, static_cast<size_t>(length), stderr);
            p += length;
        } else {
            putByte(*p++);
        }
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
