// SPDX-License-Identifier: GPL-3.0-or-later
// Writes a one-pair project file for the benchmarks:
//   tavrel-bench-job OUT.TSP METHOD CONTENT_CHECK ORG TGT
// METHOD and CONTENT_CHECK are the stored numbers (0..4, 0..2).
#include "model/job.h"
#include "project/project_file.h"
#include "text/text_codec.h"

#include <cstdio>
#include <cstdlib>
#include <string>

int main(int argc, char** argv)
{
    if (argc != 6) {
        std::fputs("usage: tavrel-bench-job OUT.TSP METHOD CONTENT_CHECK ORG TGT\n", stderr);
        return 64;
    }
    using namespace tavrel;
    model::Job job;
    model::FolderPair* pair = job.addPair();
    pair->name = u"bench";
    pair->method = static_cast<model::SyncMethod>(std::atoi(argv[2]));
    pair->contentCheck = static_cast<model::ContentCheckMode>(std::atoi(argv[3]));
    pair->orgPath = text::fromUtf8(argv[4]);
    pair->tgtPath = text::fromUtf8(argv[5]);
    pair->includeFiles.append(u"*");
    pair->includeFolders.append(u"*");
    pair->includeSubfolders = 1;
    if (!project::saveProject(job, argv[1])) {
        std::fputs("Failed to save TSP file.\n", stderr);
        return 1;
    }
    return 0;
}
