// SPDX-License-Identifier: GPL-3.0-or-later
// Writes a sealed project file from a command line, for the demo script and the package test:
//   tavrel-make-project OUT.TSP --pair NAME METHOD ORG TGT [PAIR OPTIONS] [--pair ...]
// A pair starts as the window's Add Pair makes it: all files and folders included, subfolders
// on, deleted files to the trash. The options after a --pair change that pair.
#include "model/job.h"
#include "model/text_rules.h"
#include "project/project_file.h"
#include "text/text_codec.h"

#include <cstdio>
#include <cstring>
#include <string>
#include <string_view>

namespace {

using namespace tavrel;

constexpr const char* kUsage =
    "usage: tavrel-make-project OUT.TSP --pair NAME METHOD ORG TGT [OPTIONS] [--pair ...]\n"
    "  METHOD: light | update | copy | absolute | sync\n"
    "  OPTIONS: --include-files TEXT  --exclude-files TEXT  --include-folders TEXT\n"
    "           --exclude-folders TEXT  (';'-separated patterns)\n"
    "           --check auto|check|notcheck\n"
    "           --read-only MODE  --hidden MODE  --system MODE  (involve|copyonly|ignore)\n"
    "           --no-subfolders  --no-recycle  --disabled\n";

int usage(const char* problem)
{
    if (problem != nullptr)
        std::fprintf(stderr, "tavrel-make-project: %s\n", problem);
    std::fputs(kUsage, stderr);
    return 64;
}

template <typename Enum, std::size_t N>
bool pick(std::string_view word, const char* const (&names)[N], Enum& out)
{
    for (std::size_t i = 0; i < N; ++i) {
        if (word == names[i]) {
            out = static_cast<Enum>(i);
            return true;
        }
    }
    return false;
}

constexpr const char* kMethods[] = {"light", "update", "copy", "absolute", "sync"};
constexpr const char* kChecks[] = {"auto", "check", "notcheck"};
constexpr const char* kModes[] = {"involve", "copyonly", "ignore"};

} // namespace

int main(int argc, char** argv)
{
    if (argc < 7 || std::strcmp(argv[2], "--pair") != 0)
        return usage(nullptr);

    model::Job job;
    model::FolderPair* pair = nullptr;
    for (int i = 2; i < argc; ++i) {
        const std::string_view option = argv[i];
        const bool hasValue = i + 1 < argc;
        if (option == "--pair") {
            if (i + 4 >= argc)
                return usage("--pair needs NAME METHOD ORG TGT");
            pair = job.addPair();
            if (pair == nullptr)
                return usage("a job holds at most 100 pairs");
            const std::u16string name = model::trimSpaces(text::fromUtf8(argv[i + 1]));
            const std::u16string org = text::fromUtf8(argv[i + 3]);
            const std::u16string tgt = text::fromUtf8(argv[i + 4]);
            if (name.empty() || name.size() > model::kNameCapacity)
                return usage("a pair name has 1 to 20 characters");
            if (model::trimSpaces(org).empty() || model::trimSpaces(tgt).empty() ||
                org.size() > model::kPathCapacity || tgt.size() > model::kPathCapacity)
                return usage("a folder path has 1 to 259 characters");
            if (!pick(argv[i + 2], kMethods, pair->method))
                return usage("unknown method");
            pair->name = name;
            pair->orgPath = org;
            pair->tgtPath = tgt;
            pair->includeFiles.append(u"*");
            pair->includeFolders.append(u"*");
            pair->includeSubfolders = 1;
            pair->recycleDeleted = 1;
            i += 4;
        } else if (option == "--no-subfolders") {
            pair->includeSubfolders = 0;
        } else if (option == "--no-recycle") {
            pair->recycleDeleted = 0;
        } else if (option == "--disabled") {
            pair->enabled = 0;
        } else if (!hasValue) {
            return usage("an option lacks its value");
        } else {
            const std::string_view value = argv[++i];
            model::PatternListKind kind{};
            bool ok = true;
            if (option == "--include-files" || option == "--exclude-files" || option == "--include-folders" ||
                option == "--exclude-folders") {
                kind = option == "--include-files"     ? model::PatternListKind::FilesInclude
                       : option == "--exclude-files"   ? model::PatternListKind::FilesExclude
                       : option == "--include-folders" ? model::PatternListKind::FoldersInclude
                                                       : model::PatternListKind::FoldersExclude;
                model::parsePatternList(*pair, text::fromUtf8(value), kind);
            } else if (option == "--check") {
                ok = pick(value, kChecks, pair->contentCheck);
            } else if (option == "--read-only") {
                ok = pick(value, kModes, pair->readOnlyMode);
            } else if (option == "--hidden") {
                ok = pick(value, kModes, pair->hiddenMode);
            } else if (option == "--system") {
                ok = pick(value, kModes, pair->systemMode);
            } else {
                return usage("unknown option");
            }
            if (!ok)
                return usage("unknown option value");
        }
    }
    if (!project::saveProject(job, argv[1])) {
        std::fputs("Failed to save TSP file.\n", stderr);
        return 1;
    }
    return 0;
}
