// SPDX-License-Identifier: GPL-3.0-or-later
// A run of what changed handles the folders it is given, and nothing else, by the rules of a
// whole run: a folder met again, new or gone, a pattern that leaves a folder out, the
// mass-deletion question.
#include "engine/run_scope.h"
#include "support/engine_fixture.h"
#include "text/text_codec.h"

#include <algorithm>
#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace tavrel::test {
namespace {

using model::SyncMethod;

struct ScopeCase
{
    const char* name;
    SyncMethod method;
    std::vector<Node> org;
    std::vector<Node> tgt;
    std::vector<engine::ScopedFolder> folders;
    std::vector<Node> tgtAfter;
    std::vector<Node> orgAfter = {}; // empty: ORG stays as it was
    const char* excludeFolder = nullptr;
};

// "stale" differs on both sides outside every case's scope: a run that handled more than its
// folders would overwrite it.
const Node kStaleOrg = file("elsewhere/stale", "new", at(9));
const Node kStaleTgt = file("elsewhere/stale", "old", at(1));

std::vector<Node> with(std::vector<Node> nodes, const Node& node)
{
    nodes.push_back(node);
    return nodes;
}

const ScopeCase kCases[] = {
    {"FileCreatedInAFolder",
     SyncMethod::AbsoluteCopy,
     {file("a/new", "n"), file("a/kept", "k")},
     {file("a/kept", "k")},
     {{"a", false}},
     {file("a/new", "n"), file("a/kept", "k")}},
    {"NewFolderIsWalkedWhole",
     SyncMethod::AbsoluteCopy,
     {file("n/m/f", "f"), file("n/g", "g")},
     {folder("")},
     {{"", false}, {"n", true}},
     {file("n/m/f", "f"), file("n/g", "g")}},
    {"ChangedFolderAloneLeavesItsSubfoldersAlone",
     SyncMethod::AbsoluteCopy,
     {file("a/f", "new", at(5)), file("a/sub/g", "new", at(5))},
     {file("a/f", "old", at(1)), file("a/sub/g", "old", at(1))},
     {{"a", false}},
     {file("a/f", "new", at(5)), file("a/sub/g", "old", at(1))}},
    {"DeletedFolderGoesWithItsParent",
     SyncMethod::AbsoluteCopy,
     {file("k1", "k"), file("k2", "k"), file("k3", "k")},
     {file("k1", "k"), file("k2", "k"), file("k3", "k"), file("d/x", "x")},
     {{"", false}},
     {file("k1", "k"), file("k2", "k"), file("k3", "k")}},
    {"GoneSourceFolderIsHandledByItsParent",
     SyncMethod::AbsoluteCopy,
     {file("p/k1", "k"), file("p/k2", "k"), file("p/k3", "k")},
     {file("p/k1", "k"), file("p/k2", "k"), file("p/k3", "k"), file("p/d/x", "x")},
     {{"p/d", false}},
     {file("p/k1", "k"), file("p/k2", "k"), file("p/k3", "k")}},
    {"MissingTargetParentIsMadeByWalkingItWhole",
     SyncMethod::AbsoluteCopy,
     {file("p/q/f", "f"), file("p/other", "o")},
     {folder("")},
     {{"p/q", false}},
     {file("p/q/f", "f"), file("p/other", "o")}},
    {"FolderLeftOutByAPatternIsNotHandled",
     SyncMethod::AbsoluteCopy,
     {file("skip/f", "f"), file("skip/in/g", "g")},
     {folder("")},
     {{"skip/in", true}},
     {},
     {},
     "skip"},
    {"SynchronizeWalksTheFolderBackFromTheTarget",
     SyncMethod::Synchronize,
     {file("a/o", "o")},
     {file("a/t", "t")},
     {{"a", false}},
     {file("a/o", "o"), file("a/t", "t")},
     {file("a/o", "o"), file("a/t", "t")}},
};

class ScopedRun : public EngineTest, public ::testing::WithParamInterface<ScopeCase>
{
};

TEST_P(ScopedRun, HandlesItsFoldersByTheWholeRunsRules)
{
    const ScopeCase& c = GetParam();
    buildTree(m_org, with(c.org, kStaleOrg));
    buildTree(m_tgt, with(c.tgt, kStaleTgt));
    model::FolderPair& pair = addPair(c.method);
    if (c.excludeFolder != nullptr)
        pair.excludeFolders.append(text::fromUtf8(c.excludeFolder));
    engine::RunScope scope;
    scope.pairs[0].folders = c.folders;
    m_scope = &scope;

    EXPECT_EQ(run(), engine::RunResult::Succeeded);
    EXPECT_EQ(m_state.errors.load(), 0);
    EXPECT_EQ(snapshotTree(m_tgt), describeTree(with(c.tgtAfter, kStaleTgt)));
    EXPECT_EQ(snapshotTree(m_org), describeTree(with(c.orgAfter.empty() ? c.org : c.orgAfter, kStaleOrg)));
}

INSTANTIATE_TEST_SUITE_P(Cases, ScopedRun, ::testing::ValuesIn(kCases),
                         [](const auto& info) { return std::string(info.param.name); });

// A pair the scope does not name is not run; one named whole is run as a whole run would.
TEST_F(EngineTest, ScopedRunSkipsPairsItDoesNotName)
{
    buildTree(m_org, {file("f", "f")});
    buildTree(m_dir / "org2", {file("g", "g")});
    addPair(SyncMethod::AbsoluteCopy);
    addPair(SyncMethod::AbsoluteCopy, m_dir / "org2", m_dir / "tgt2", "second");
    engine::RunScope scope;
    scope.pairs[1].whole = true;
    m_scope = &scope;

    EXPECT_EQ(run(), engine::RunResult::Succeeded);
    EXPECT_EQ(snapshotTree(m_tgt), TreeSnapshot());
    EXPECT_EQ(snapshotTree(m_dir / "tgt2"), describeTree({file("g", "g")}));
}

// The mass-deletion question looks at the whole target, not at the folder that changed.
TEST_F(EngineTest, ScopedRunAsksBeforeAMassDeletion)
{
    std::vector<Node> tgt{file("a/keep", "k")};
    for (int i = 0; i < 20; ++i)
        tgt.push_back(file("a/gone" + std::to_string(i), "x"));
    buildTree(m_org, {file("a/keep", "k")});
    buildTree(m_tgt, tgt);
    addPair(SyncMethod::AbsoluteCopy);
    engine::RunScope scope;
    scope.pairs[0].folders = {{"a", false}};
    m_scope = &scope;
    m_sink.massDeletionAnswer = engine::MassDeletionAnswer::SkipWithError;

    EXPECT_EQ(run(), engine::RunResult::Succeeded);
    EXPECT_EQ(m_sink.questions().size(), 1u);
    EXPECT_EQ(snapshotTree(m_tgt), describeTree(tgt));
    EXPECT_EQ(m_state.errors.load(), 1);
}

} // namespace
} // namespace tavrel::test
