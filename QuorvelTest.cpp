#include "QuorvelTest.h"

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <unistd.h>

void audioMaker(char *audioFile)
{
    (void)audioFile;
}

void audioPlayer()
{
}

// The announcement goes into the pipe, whose only reader (the parent)
// may be gone already.  SIGPIPE is ignored just for that write, so the
// child always goes on to start the player, which gets the disposition
// back as it was.
static void announceIntoPipe()
{
    struct sigaction ignore = {};
    struct sigaction saved = {};
    ignore.sa_handler = SIG_IGN;
    sigaction(SIGPIPE, &ignore, &saved);
    puts(announcement);
    fflush(stdout);
    sigaction(SIGPIPE, &saved, nullptr);
}

// QuorvelTest carries the playback program's command-line check and
// pipe-and-fork wiring, with a producer and a player that do nothing.
int main(int argc, char *argv[])
{
    openStandardDescriptors();
    int tubo[2];
    const int piped = pipe(tubo);
    if (argc <= 1) {
        showUsage(argc, argv, "QuorvelTest");
        exit(1);
    }
    if (piped < 0)
        failWith("creating pipe", "");
    int pid = fork();
    if (pid == 0) {
        close(tubo[0]);
        moveDescriptor(tubo[1], STDOUT_FILENO);
        audioMaker(argv[1]);
        announceIntoPipe();
        execlp(playerName, playerName, static_cast<char *>(nullptr));
        exit(0);
    }
    close(tubo[1]);
    moveDescriptor(tubo[0], STDIN_FILENO);
    audioPlayer();
    exit(0);
}
