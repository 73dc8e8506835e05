// SPDX-License-Identifier: GPL-3.0-or-later
#include "model/pair_rules.h"

#include <gtest/gtest.h>
#include <string>

using namespace tavrel::model;

namespace {

// Stands in for a volume's folding: the rules must fold only through what they are given.
std::string lowerAscii(std::string_view name)
{
    std::string out(name);
    for (char& c : out) {
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    }
    return out;
}

PairDraft validDraft()
{
    PairDraft draft;
    draft.name = "P";
    draft.orgPath = "/data/org";
    draft.tgtPath = "/backup/tgt";
    draft.includeFiles = "*";
    draft.includeFolders = "*";
    draft.method = SyncMethod::Copy;
    return draft;
}

} // namespace

TEST(PairCheck, FoldersOverlapOnTheResolvedText)
{
    const struct
    {
        const char* a;
        const char* b;
        bool ignoringCase;
        bool overlap;
    } cases[] = {
        {"/a", "/a", false, true},
        {"/a/", "/a", false, true},
        {"/a", "/a/b", false, true},
        {"/ab", "/a", true, false},
        {"/a/b", "/a/c", true, false},
        {"/", "/srv", false, true},
        {"/home/a", "/home/b", true, false},
        // Dots and doubled slashes name the folder they resolve to.
        {"/a/./b", "/a/b", false, true},
        {"/data/../x", "/x", false, true},
        {"/a/x/../b", "/a/b/c", false, true},
        {"/a//b", "/a/b/", false, true},
        {"/..", "/", false, true},
        {"/a/../../b", "/b/c", false, true},
        {"/data/../x", "/data", false, false},
        // Relative paths: a ".." that cannot be taken back stays a name.
        {"a", "a/b", false, true},
        {"../a", "a", false, false},
        {"x/../../a", "../a/b", false, true},
        {"/a", "a", false, false},
        // Letter case matters only when the caller says the volume ignores it.
        {"/data/Photos", "/DATA/photos/2024", true, true},
        {"/data/Photos", "/DATA/photos/2024", false, false},
        {"/Data", "/data2", true, false},
        {"/a b", "/a", true, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.a) + " | " + c.b + (c.ignoringCase ? " ignoring case" : ""));
        const NameFolding folding = c.ignoringCase ? &lowerAscii : nullptr;
        EXPECT_EQ(foldersOverlap(c.a, c.b, folding), c.overlap);
        EXPECT_EQ(foldersOverlap(c.b, c.a, folding), c.overlap) << "either way round";
    }
}

TEST(PairCheck, InsideGoesOneWayOnly)
{
    EXPECT_TRUE(folderInside("/a/b/../c/v", "/a/c", nullptr));
    EXPECT_FALSE(folderInside("/a/c", "/a/c/v", nullptr));
    EXPECT_TRUE(folderInside("/A/C/v", "/a/c", &lowerAscii));
    EXPECT_FALSE(folderInside("/a/cv", "/a/c", &lowerAscii));
}

TEST(PairCheck, CheckPairNamesTheFirstFaultAndItsValues)
{
    const struct
    {
        const char* label;
        void (*change)(PairDraft&);
        std::optional<PairFault> fault;
        PairRoot root;
        const char* rootPath;
        const char* otherPath;
    } cases[] = {
        {"valid", [](PairDraft&) {}, std::nullopt, PairRoot::Org, "", ""},
        {"blank name", [](PairDraft& d) { d.name = "   "; }, PairFault::NameEmpty, PairRoot::Org, "", ""},
        {"name before paths",
         [](PairDraft& d) {
             d.name.clear();
             d.orgPath.clear();
         },
         PairFault::NameEmpty, PairRoot::Org, "", ""},
        {"blank ORG", [](PairDraft& d) { d.orgPath = " "; }, PairFault::OrgPathEmpty, PairRoot::Org, " ", ""},
        {"blank TGT", [](PairDraft& d) { d.tgtPath.clear(); }, PairFault::TgtPathEmpty, PairRoot::Tgt, "",
         ""},
        {"blank include files", [](PairDraft& d) { d.includeFiles = "  "; }, PairFault::IncludeFilesEmpty,
         PairRoot::Org, "", ""},
        {"tab is not blank", [](PairDraft& d) { d.includeFiles = "\t"; }, std::nullopt, PairRoot::Org, "",
         ""},
        {"blank include folders", [](PairDraft& d) { d.includeFolders.clear(); },
         PairFault::IncludeFoldersEmpty, PairRoot::Org, "", ""},
        {"overlap after trimming",
         [](PairDraft& d) {
             d.orgPath = "  /data/x/../org ";
             d.tgtPath = "/data/org/sub";
         },
         PairFault::FoldersOverlap, PairRoot::Org, "  /data/x/../org ", "/data/org/sub"},
        {"remember on Copy", [](PairDraft& d) { d.rememberState = true; },
         PairFault::RememberNeedsSynchronize, PairRoot::Org, "", ""},
        {"remember on Synchronize",
         [](PairDraft& d) {
             d.rememberState = true;
             d.method = SyncMethod::Synchronize;
         },
         std::nullopt, PairRoot::Org, "", ""},
        {"versions inside TGT", [](PairDraft& d) { d.versionsFolder = "/backup/./tgt/v"; },
         PairFault::VersionsFolderInsideRoot, PairRoot::Tgt, "/backup/tgt", "/backup/./tgt/v"},
        {"versions inside ORG first",
         [](PairDraft& d) {
             d.orgPath = "/data";
             d.tgtPath = "/other";
             d.versionsFolder = "/data/v";
         },
         PairFault::VersionsFolderInsideRoot, PairRoot::Org, "/data", "/data/v"},
        {"versions beside", [](PairDraft& d) { d.versionsFolder = "/backup/tgt2"; }, std::nullopt,
         PairRoot::Org, "", ""},
        {"versions holding a root is allowed", [](PairDraft& d) { d.versionsFolder = "/backup"; },
         std::nullopt, PairRoot::Org, "", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.label);
        PairDraft draft = validDraft();
        c.change(draft);
        const std::optional<PairProblem> problem = checkPair(draft, nullptr);
        ASSERT_EQ(problem.has_value(), c.fault.has_value());
        if (!problem)
            continue;
        EXPECT_EQ(problem->fault, *c.fault);
        EXPECT_EQ(problem->root, c.root);
        EXPECT_EQ(problem->rootPath, c.rootPath);
        EXPECT_EQ(problem->otherPath, c.otherPath);
        if (problem->fault == PairFault::RememberNeedsSynchronize) {
            EXPECT_EQ(problem->method, SyncMethod::Copy);
        }
    }
}

TEST(PairCheck, CheckPairFoldsOnlyWhenTold)
{
    PairDraft draft = validDraft();
    draft.tgtPath = "/DATA/Org/x";
    EXPECT_FALSE(checkPair(draft, nullptr).has_value());
    ASSERT_TRUE(checkPair(draft, &lowerAscii).has_value());
    EXPECT_EQ(checkPair(draft, &lowerAscii)->fault, PairFault::FoldersOverlap);
}
