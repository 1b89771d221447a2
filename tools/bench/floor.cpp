// The floor for the benchmark: the playback program's process shape
// (pipe, fork, the parent becomes the player) with a child that copies a
// programme computed beforehand instead of computing it.
// Usage: floor PROGRAMMEFILE
#include <cstdio>
#include <fcntl.h>
#include <unistd.h>

#include "common.h"

static unsigned char programme[1 << 20];

[[noreturn]] static void copyProgramme(const char *path)
{
    const int in = open(path, O_RDONLY);
    if (in < 0)
        failWith("opening ", path);
    ssize_t n;
    while ((n = read(in, programme, sizeof programme)) > 0)
        for (ssize_t at = 0; at < n;) {
            const ssize_t put = write(STDOUT_FILENO, programme + at,
                                      static_cast<size_t>(n - at));
            if (put <= 0)
                failWith("writing the programme", "");
            at += put;
        }
    _exit(n < 0 ? 1 : 0);
}

int main(int argc, char *argv[])
{
    int ends[2];
    if (argc < 2 || pipe(ends) < 0)
        return 1;
    const pid_t pid = fork();
    if (pid < 0)
        return 1;
    if (pid == 0) {
        close(ends[0]);
        moveDescriptor(ends[1], STDOUT_FILENO);
        copyProgramme(argv[1]);
    }
    close(ends[1]);
    moveDescriptor(ends[0], STDIN_FILENO);
    execlp(playerName, playerName, static_cast<char *>(nullptr));
    return 1;
}
