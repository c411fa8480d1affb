// kovrit-bench: performance benchmarks of the client beside their floors.
//   kovrit-bench line|paint|screen|startup|memory
// Each prints its figures and RESULT lines that scripts/bench.sh collects.

#include "sitzung.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

int benchLine(int argc, char **argv);
int benchPaint(int argc, char **argv);
int benchScreen(int argc, char **argv);
int benchStartup(int argc, char **argv);
int benchMemory(int argc, char **argv);

int main(int argc, char **argv)
{
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s line|paint|screen|startup|memory\n", argv[0]);
        return 2;
    }
    const char *was = argv[1];
    if (!std::strcmp(was, "line"))
        return benchLine(argc, argv);
    if (!std::strcmp(was, "paint"))
        return benchPaint(argc, argv);
    if (!std::strcmp(was, "screen"))
        return benchScreen(argc, argv);
    if (!std::strcmp(was, "startup"))
        return benchStartup(argc, argv);
    if (!std::strcmp(was, "memory"))
        return benchMemory(argc, argv);
    if (!std::strcmp(was, "server") && argc >= 3)
        return serverMain(argc, argv, std::atoi(argv[2]));
    std::fprintf(stderr, "unknown benchmark: %s\n", was);
    return 2;
}
