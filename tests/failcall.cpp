// Preloaded into the program under test, FAILCALL makes a call misbehave
// as a loaded or broken system can: pipe (EMFILE), fork (EAGAIN), lagfork
// (fork's child waits 200 ms, its parent surely gone by then), short (a
// write to 1 takes at most 1000 bytes; every third fails first with EINTR).
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <dlfcn.h>
#include <unistd.h>

namespace {

bool failing(const char *call)
{
    const char *which = getenv("FAILCALL");
    return which != nullptr && strcmp(which, call) == 0;
}

template <typename Call> Call real(const char *name)
{
    return reinterpret_cast<Call>(dlsym(RTLD_NEXT, name));
}

} // namespace

extern "C" int pipe(int fds[2])
{
    if (failing("pipe")) {
        errno = EMFILE;
        return -1;
    }
    return real<int (*)(int *)>("pipe")(fds);
}

extern "C" pid_t fork()
{
    if (failing("fork")) {
        errno = EAGAIN;
        return -1;
    }
    const pid_t pid = real<pid_t (*)()>("fork")();
    if (pid == 0 && failing("lagfork"))
        usleep(200000);
    return pid;
}

extern "C" ssize_t write(int fd, const void *from, size_t count)
{
    static unsigned calls;
    if (fd == STDOUT_FILENO && failing("short")) {
        if (++calls % 3 == 0) {
            errno = EINTR;
            return -1;
        }
        if (count > 1000)
            count = 1000;
    }
    return real<ssize_t (*)(int, const void *, size_t)>("write")(fd, from,
                                                                 count);
}
