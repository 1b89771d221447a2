#include "Quorvel.h"

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <poll.h>
#include <sys/prctl.h>
#include <unistd.h>

int audioPlayer()
{
    puts(announcement);
    // exec discards stdio buffers, and stdout is fully buffered whenever
    // it is a file or a pipe: without the flush the line would be lost.
    fflush(stdout);
    return execlp(playerName, playerName, "-r", playerRate,
                  static_cast<char *>(nullptr));
}

[[noreturn]] static void becomePlayer(const int ends[2])
{
    close(ends[1]);
    if (moveDescriptor(ends[0], STDIN_FILENO) < 0)
        failWith("moving the pipe onto standard input", "");
    audioPlayer();
    failWith("starting audio player ", playerName);
}

// Once the producer has closed its read end, the player holds the only
// other one, and the write end reports POLLERR when no reader is left.
// Process ids would not tell: in a new PID namespace the producer is its
// first process, and getppid() gives 0 whoever its parent is.
static bool playerGone(int writeEnd)
{
    struct pollfd end = {writeEnd, 0, 0};
    return poll(&end, 1, 0) == 1 && (end.revents & POLLERR) != 0;
}

// A clip's source can block for ever: a FIFO with no writer, a stalled
// pipe, a terminal.  Until the first write nothing tells the producer
// that its player has ended, so for the load alone it asks to die with
// the player; from the first write on, the pipe's SIGPIPE does that.
// The pipe itself tells of a player that ended before the request.
static void loadWhilePlayerLives(const char *path, int writeEnd)
{
    prctl(PR_SET_PDEATHSIG, SIGKILL);
    if (playerGone(writeEnd))
        _exit(1);
    getAudioSamples(path);
    prctl(PR_SET_PDEATHSIG, 0);
}

// The clip is loaded before the pipe takes over standard output, so that
// a path such as /dev/stdout means the caller's standard output, not the
// producer's own pipe.
[[noreturn]] static void becomeProducer(const int ends[2], const char *path)
{
    close(ends[0]);
    loadWhilePlayerLives(path, ends[1]);
    if (moveDescriptor(ends[1], STDOUT_FILENO) < 0)
        failWith("moving the pipe onto standard output", "");
    audioMaker();
}

// Quorvel plays a raw unsigned 8-bit clip through "aplay -r 22100": five
// blocks of zero bytes, then the clip five times at each of five rising
// speeds.  The parent becomes the player; the forked child feeds it.
int main(int argc, char *argv[])
{
    openStandardDescriptors();
    int ends[2];
    const int piped = pipe(ends);
    if (argc < 2) {
        showUsage(argc, argv, "Quorvel");
        return EXIT_FAILURE;
    }
    if (piped < 0)
        failWith("creating pipe", "");
    const pid_t pid = fork();
    if (pid < 0)
        failWith("starting audio producer", "");
    if (pid == 0)
        becomeProducer(ends, argv[1]);
    becomePlayer(ends);
}
