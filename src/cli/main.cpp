#include <cstdio>
#include <cstring>

int main(int argc, char** argv)
{
    if (argc == 2 && std::strcmp(argv[1], "--help") == 0) {
        std::puts("usage: tavrel-sync-cli show JOB.TSP");
        return 0;
    }
    std::fputs("usage: tavrel-sync-cli show JOB.TSP\n", stderr);
    return 64;
}
