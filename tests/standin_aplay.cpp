// A stand-in for aplay that records instead of playing, into the folder
// STANDIN_DIR: args (one a line), pid (once it reads), audio (its input up
// to end-of-file), pipefds (its other descriptors on that pipe), children
// ("exit N" or "signal N" for each child reaped then: the producer) and,
// last, done.  STANDIN_BYTES=N: it reads at most N bytes, like a player
// that stops early; STANDIN_HOLD=PATH: it waits for PATH before it ends.
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

static std::string folder;

static void fail(const char *what)
{
    fprintf(stderr, "standin aplay: %s: %s\n", what, strerror(errno));
    exit(3);
}

static FILE *record(const char *name)
{
    FILE *f = fopen((folder + "/" + name).c_str(), "w");
    if (f == nullptr)
        fail(name);
    return f;
}

static void recordArgs(int argc, char *argv[])
{
    FILE *f = record("args");
    for (int i = 0; i < argc; ++i)
        fprintf(f, "%s\n", argv[i]);
    fclose(f);
}

// Written whole under another name first: a test waits for "pid" to
// appear and reads it at once.
static void recordPid()
{
    FILE *f = record("pid.new");
    fprintf(f, "%d\n", static_cast<int>(getpid()));
    if (fclose(f) != 0 ||
        rename((folder + "/pid.new").c_str(), (folder + "/pid").c_str()) != 0)
        fail("pid");
}

static void recordPipeSharers()
{
    struct stat in;
    int sharers = 0;
    if (fstat(0, &in) == 0 && S_ISFIFO(in.st_mode)) {
        DIR *d = opendir("/proc/self/fd");
        if (d == nullptr)
            fail("/proc/self/fd");
        const int own = dirfd(d);
        while (dirent *e = readdir(d)) {
            const int fd = atoi(e->d_name);
            struct stat st;
            if (e->d_name[0] == '.' || fd == 0 || fd == own)
                continue;
            if (fstat(fd, &st) == 0 && st.st_dev == in.st_dev &&
                st.st_ino == in.st_ino)
                ++sharers;
        }
        closedir(d);
    }
    FILE *f = record("pipefds");
    fprintf(f, "%d\n", sharers);
    fclose(f);
}

static void recordInput(long long limit)
{
    FILE *f = record("audio");
    char chunk[4096];
    long long total = 0;
    while (total < limit) {
        const long long room = limit - total;
        const size_t want = room < (long long)sizeof chunk ? (size_t)room
                                                           : sizeof chunk;
        const ssize_t n = read(0, chunk, want);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            fail("reading standard input");
        if (n == 0)
            break;
        fwrite(chunk, 1, (size_t)n, f);
        total += n;
    }
    fclose(f);
    close(0);
}

static void recordChildren()
{
    FILE *f = record("children");
    int status;
    pid_t pid;
    while ((pid = wait(&status)) > 0 || (pid < 0 && errno == EINTR)) {
        if (pid < 0)
            continue;
        if (WIFEXITED(status))
            fprintf(f, "exit %d\n", WEXITSTATUS(status));
        else if (WIFSIGNALED(status))
            fprintf(f, "signal %d\n", WTERMSIG(status));
    }
    fclose(f);
}

static void hold()
{
    const char *path = getenv("STANDIN_HOLD");
    for (int tries = 0; path != nullptr && tries < 3000; ++tries) {
        if (access(path, F_OK) == 0)
            return;
        usleep(10000);
    }
}

int main(int argc, char *argv[])
{
    const char *dir = getenv("STANDIN_DIR");
    if (dir == nullptr) {
        fprintf(stderr, "standin aplay: STANDIN_DIR is not set\n");
        return 2;
    }
    folder = dir;
    recordArgs(argc, argv);
    recordPipeSharers();
    recordPid();
    const char *bytes = getenv("STANDIN_BYTES");
    recordInput(bytes != nullptr ? atoll(bytes) : LLONG_MAX);
    recordChildren();
    hold();
    fclose(record("done"));
    return 0;
}
