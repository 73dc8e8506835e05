// SPDX-License-Identifier: GPL-3.0-or-later
// The floor a synchronizer's pass cannot beat, for the benchmarks:
//   tavrel-bench-floor walk DIR...   lists every folder and lstats every entry below each DIR
//   tavrel-bench-floor read DIR...   the same, and reads every regular file to its end
// One thread; open(O_DIRECTORY) + readdir, fstatat(AT_SYMLINK_NOFOLLOW) per entry, links are
// never followed; files are read with 1 MiB read() calls. Prints what it saw on stdout.
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

struct Counts
{
    std::uint64_t folders = 0;
    std::uint64_t entries = 0;
    std::uint64_t bytes = 0;
    std::uint64_t errors = 0;
};

std::vector<char> buffer(1 << 20);

void readFile(int parent, const char* name, Counts& counts)
{
    int fd = openat(parent, name, O_RDONLY | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) {
        ++counts.errors;
        return;
    }
    for (;;) {
        ssize_t got = read(fd, buffer.data(), buffer.size());
        if (got > 0) {
            counts.bytes += static_cast<std::uint64_t>(got);
            continue;
        }
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0)
            ++counts.errors;
        break;
    }
    close(fd);
}

// Takes ownership of fd.
void walk(int fd, bool readFiles, Counts& counts)
{
    DIR* dir = fdopendir(fd);
    if (dir == nullptr) {
        close(fd);
        ++counts.errors;
        return;
    }
    ++counts.folders;
    while (const dirent* entry = readdir(dir)) {
        const char* name = entry->d_name;
        if (std::strcmp(name, ".") == 0 || std::strcmp(name, "..") == 0)
            continue;
        struct stat st;
        if (fstatat(dirfd(dir), name, &st, AT_SYMLINK_NOFOLLOW) != 0) {
            ++counts.errors;
            continue;
        }
        ++counts.entries;
        if (S_ISDIR(st.st_mode)) {
            int child = openat(dirfd(dir), name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
            if (child < 0)
                ++counts.errors;
            else
                walk(child, readFiles, counts);
        } else if (readFiles && S_ISREG(st.st_mode)) {
            readFile(dirfd(dir), name, counts);
        }
    }
    closedir(dir);
}

} // namespace

int main(int argc, char** argv)
{
    bool readFiles = argc >= 3 && std::strcmp(argv[1], "read") == 0;
    if (argc < 3 || (!readFiles && std::strcmp(argv[1], "walk") != 0)) {
        std::fputs("usage: tavrel-bench-floor walk|read DIR...\n", stderr);
        return 64;
    }
    Counts counts;
    for (int i = 2; i < argc; ++i) {
        int fd = open(argv[i], O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (fd < 0) {
            std::perror(argv[i]);
            return 1;
        }
        walk(fd, readFiles, counts);
    }
    std::printf(
        "%llu folders, %llu entries, %llu bytes read, %llu errors\n",
        static_cast<unsigned long long>(counts.folders), static_cast<unsigned long long>(counts.entries),
        static_cast<unsigned long long>(counts.bytes), static_cast<unsigned long long>(counts.errors));
    return counts.errors == 0 ? 0 : 1;
}
