// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine/method_rules.h"
#include "support/engine_fixture.h"

#include <gtest/gtest.h>

namespace tavrel::test {
namespace {

using model::SyncMethod;

// One cell of the method table: the trees before, the trees after and what was counted.
struct MethodCase
{
    std::string name;
    SyncMethod method;
    std::vector<Node> org, tgt;
    std::vector<Node> orgAfter, tgtAfter;
    Ops ops;
};

// The same unchanged file on both sides, so that every case has something to count.
const Node kKeep = file("keep.txt", "k", at(1));

std::vector<MethodCase> methodCases()
{
    const SyncMethod light = SyncMethod::LightCopy, update = SyncMethod::UpdateCopy, copy = SyncMethod::Copy,
                     absolute = SyncMethod::AbsoluteCopy, sync = SyncMethod::Synchronize;
    std::vector<MethodCase> cases;
    auto add = [&](std::string name, SyncMethod method, std::vector<Node> org, std::vector<Node> tgt,
                   std::vector<Node> orgAfter, std::vector<Node> tgtAfter, Ops ops) {
        cases.push_back({std::move(name), method, std::move(org), std::move(tgt), std::move(orgAfter),
                         std::move(tgtAfter), ops});
    };

    const std::vector<std::pair<const char*, SyncMethod>> allMethods{
        {"Light", light}, {"Update", update}, {"Copy", copy}, {"Absolute", absolute}, {"Synchronize", sync}};

    // File only in ORG: every method copies it to TGT.
    {
        const std::vector<Node> org{kKeep, file("a.txt", "org", at(10))};
        const std::vector<Node> tgt{kKeep};
        for (auto [name, method] : allMethods)
            add(std::string(name) + "_OnlyInOrg", method, org, tgt, org, org, Ops{.tgtFilesCreated = 1});
    }
    // Both, ORG newer.
    {
        const std::vector<Node> org{kKeep, file("a.txt", "org-new", at(20))};
        const std::vector<Node> tgt{kKeep, file("a.txt", "tgt", at(10))};
        add("Light_OrgNewer", light, org, tgt, org, tgt, {});
        for (auto [name, method] :
             {std::pair{"Update", update}, {"Copy", copy}, {"Absolute", absolute}, {"Synchronize", sync}})
            add(std::string(name) + "_OrgNewer", method, org, tgt, org, org, Ops{.tgtFilesOverwritten = 1});
    }
    // Both, TGT newer.
    {
        const std::vector<Node> org{kKeep, file("a.txt", "org", at(10))};
        const std::vector<Node> tgt{kKeep, file("a.txt", "tgt-new", at(20))};
        add("Light_TgtNewer", light, org, tgt, org, tgt, {});
        add("Update_TgtNewer", update, org, tgt, org, tgt, {});
        add("Copy_TgtNewer", copy, org, tgt, org, org, Ops{.tgtFilesOverwritten = 1});
        add("Absolute_TgtNewer", absolute, org, tgt, org, org, Ops{.tgtFilesOverwritten = 1});
        add("Synchronize_TgtNewer", sync, org, tgt, tgt, tgt, Ops{.orgFilesOverwritten = 1});
    }
    // Both, same time and size, different bytes: no method looks further under Auto.
    {
        const std::vector<Node> org{kKeep, file("a.txt", "aaa", at(10))};
        const std::vector<Node> tgt{kKeep, file("a.txt", "bbb", at(10))};
        for (auto [name, method] : allMethods)
            add(std::string(name) + "_SameTime", method, org, tgt, org, tgt, {});
    }
    // Listed file only in TGT.
    {
        const std::vector<Node> org{kKeep};
        const std::vector<Node> tgt{kKeep, file("b.txt", "tgt", at(10))};
        for (auto [name, method] : {std::pair{"Light", light}, {"Update", update}, {"Copy", copy}})
            add(std::string(name) + "_OnlyInTgt", method, org, tgt, org, tgt, {});
        add("Absolute_OnlyInTgt", absolute, org, tgt, org, org, Ops{.tgtFilesDeleted = 1});
        add("Synchronize_OnlyInTgt", sync, org, tgt, tgt, tgt, Ops{.orgFilesCreated = 1});
    }
    // Folder only in ORG: created in TGT and filled.
    {
        const std::vector<Node> org{kKeep, file("sub/x.txt", "x", at(10))};
        const std::vector<Node> tgt{kKeep};
        for (auto [name, method] : allMethods)
            add(std::string(name) + "_FolderOnlyInOrg", method, org, tgt, org, org,
                Ops{.tgtFilesCreated = 1, .tgtFoldersCreated = 1});
    }
    // Listed folder only in TGT.
    {
        const std::vector<Node> org{kKeep};
        const std::vector<Node> tgt{kKeep, file("sub/y.txt", "y", at(10))};
        for (auto [name, method] : {std::pair{"Light", light}, {"Update", update}, {"Copy", copy}})
            add(std::string(name) + "_FolderOnlyInTgt", method, org, tgt, org, tgt, {});
        add("Absolute_FolderOnlyInTgt", absolute, org, tgt, org, org, Ops{.tgtFoldersDeleted = 1});
        add("Synchronize_FolderOnlyInTgt", sync, org, tgt, tgt, tgt,
            Ops{.orgFilesCreated = 1, .orgFoldersCreated = 1});
    }
    return cases;
}

class MethodTable : public EngineTest, public ::testing::WithParamInterface<MethodCase>
{
};

TEST_P(MethodTable, ChangesExactlyWhatTheMethodAsks)
{
    const MethodCase& c = GetParam();
    buildTree(m_org, c.org);
    buildTree(m_tgt, c.tgt);
    addPair(c.method);

    EXPECT_EQ(run(), engine::RunResult::Succeeded);
    EXPECT_EQ(snapshotTree(m_org), describeTree(c.orgAfter));
    EXPECT_EQ(snapshotTree(m_tgt), describeTree(c.tgtAfter));
    EXPECT_EQ(operations(), c.ops.snapshot());
    EXPECT_EQ(m_sink.log().find("ERROR"), std::string::npos) << m_sink.log();
}

INSTANTIATE_TEST_SUITE_P(Engine, MethodTable, ::testing::ValuesIn(methodCases()),
                         [](const auto& info) { return info.param.name; });

// Each method's row, and the decisions it gives for a target that is absent, newer, as old or
// older than the source. A stored value outside the five has the row that does nothing.
TEST(MethodTraits, EachMethodActsByItsRow)
{
    using engine::FileAction;
    constexpr FileAction no = FileAction::Nothing, create = FileAction::CreateOnly,
                         overwrite = FileAction::Overwrite, check = FileAction::ContentCheck;
    struct Row
    {
        const char* name;
        SyncMethod method;
        bool known, readsTarget, contentCheck, deletes, walksBack, recycleBin;
        FileAction absent, targetNewer, sameTime, sourceNewer;
    };
    using enum SyncMethod;
    const Row rows[] = {
        {"Light", LightCopy, true, false, false, false, false, false, create, create, create, create},
        {"Update", UpdateCopy, true, true, false, false, false, false, create, no, no, overwrite},
        {"Copy", Copy, true, true, true, false, false, false, create, check, check, check},
        {"Absolute", AbsoluteCopy, true, true, true, true, false, true, create, check, check, check},
        {"Synchronize", Synchronize, true, true, false, false, true, false, create, no, no, overwrite},
        {"Five", static_cast<SyncMethod>(5), false, false, false, false, false, false, no, no, no, no},
        {"MinusOne", static_cast<SyncMethod>(-1), false, false, false, false, false, false, no, no, no, no},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        const engine::MethodTraits& traits = engine::traitsOf(row.method);
        EXPECT_EQ(traits.known, row.known);
        EXPECT_EQ(traits.readsTargetStamp(), row.readsTarget);
        EXPECT_EQ(traits.appliesContentCheck(), row.contentCheck);
        EXPECT_EQ(traits.deletesUnmatched, row.deletes);
        EXPECT_EQ(traits.walksBackFromTarget, row.walksBack);
        EXPECT_EQ(traits.offersRecycleBin(), row.recycleBin);
        EXPECT_EQ(engine::decideFileAction(row.method, false, 0), row.absent);
        EXPECT_EQ(engine::decideFileAction(row.method, true, -1), row.targetNewer);
        EXPECT_EQ(engine::decideFileAction(row.method, true, 0), row.sameTime);
        EXPECT_EQ(engine::decideFileAction(row.method, true, 1), row.sourceNewer);
    }
}

} // namespace
} // namespace tavrel::test
