#include "Quorvel.h"

#include <cstdio>
#include <cstdlib>
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

[[noreturn]] static void becomeProducer(const int ends[2], const char *path)
{
    close(ends[0]);
    if (moveDescriptor(ends[1], STDOUT_FILENO) < 0)
        failWith("moving the pipe onto standard output", "");
    getAudioSamples(path);
    audioMaker();
}

// Quorvel plays a raw unsigned 8-bit clip through "aplay -r 22100": five
// blocks of silence, then the clip five times at each of five rising
// speeds.  The parent becomes the player; the forked child feeds it.
int main(int argc, char *argv[])
{
    int ends[2];
    const int piped = pipe(ends);
    if (argc < 2) {
        fprintf(stderr, usageText, programName(argc, argv, "Quorvel"));
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
