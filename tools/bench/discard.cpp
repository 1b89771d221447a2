// The benchmark's player: reads its input to the end and throws it
// away.  With BENCH_RSS set it then reaps the producer, its child, and
// prints the producer's peak resident set size in KiB.
#include <cstdio>
#include <cstdlib>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

int main()
{
    static char sink[65536];
    while (read(STDIN_FILENO, sink, sizeof sink) > 0) {
    }
    if (getenv("BENCH_RSS") != nullptr) {
        int status;
        rusage usage;
        if (wait4(-1, &status, 0, &usage) > 0)
            printf("%ld\n", usage.ru_maxrss);
    }
    return 0;
}
