#include "document/SaveVersion.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>

namespace kovrel {
namespace {

struct SaveVersionCase {
    const char* pszName;
    int nFileVersion;
    std::optional<UpgradeAnswer> eUpgrade; // nullopt: must not be asked
    std::optional<KeepLayoutAnswer> eKeep; // nullopt: must not be asked
    int nResult;                           // 0 the save goes on, -1 it is called off
    KvdLayout eLayout;
    int nNewVersion;
};

class CheckSaveVersionTable : public ::testing::TestWithParam<SaveVersionCase> {};

TEST_P(CheckSaveVersionTable, FollowsTheAnswers) {
    const SaveVersionCase& c = GetParam();
    int nUpgradeAsked = 0;
    int nKeepAsked = 0;
    const SaveVersionDecision d = CheckSaveVersion(
        c.nFileVersion,
        [&] {
            ++nUpgradeAsked;
            return c.eUpgrade.value_or(UpgradeAnswer::Cancel);
        },
        [&] {
            ++nKeepAsked;
            return c.eKeep.value_or(KeepLayoutAnswer::Cancel);
        });
    EXPECT_EQ(nUpgradeAsked, c.eUpgrade ? 1 : 0);
    EXPECT_EQ(nKeepAsked, c.eKeep ? 1 : 0);
    EXPECT_EQ(d.bSave, c.nResult == 0);
    if (c.nResult == 0) {
        EXPECT_EQ(d.eLayout, c.eLayout);
    }
    EXPECT_EQ(d.nFileVersion, c.nNewVersion);
}

INSTANTIATE_TEST_SUITE_P(
    Table, CheckSaveVersionTable,
    ::testing::Values(SaveVersionCase{"CurrentLayoutAsksNothing", 0x100, std::nullopt, std::nullopt,
                                      0, KvdLayout::V1_0, 0x100},
                      SaveVersionCase{"YesUpgrades", 0, UpgradeAnswer::Yes, std::nullopt, 0,
                                      KvdLayout::V1_0, 0x100},
                      SaveVersionCase{"NoThenOkKeepsTheOldLayoutAndVersion", 0, UpgradeAnswer::No,
                                      KeepLayoutAnswer::Ok, 0, KvdLayout::V0_0, 0},
                      SaveVersionCase{"NoThenCancelCallsTheSaveOff", 0, UpgradeAnswer::No,
                                      KeepLayoutAnswer::Cancel, -1, KvdLayout::V0_0, 0},
                      SaveVersionCase{"CancelCallsTheSaveOff", 0, UpgradeAnswer::Cancel,
                                      std::nullopt, -1, KvdLayout::V0_0, 0},
                      SaveVersionCase{"NewerVersionYes", 0x200, UpgradeAnswer::Yes, std::nullopt, 0,
                                      KvdLayout::V1_0, 0x100},
                      SaveVersionCase{"Version15NoThenOk", 0x105, UpgradeAnswer::No,
                                      KeepLayoutAnswer::Ok, 0, KvdLayout::V0_0, 0x105}),
    [](const auto& tpi) { return std::string(tpi.param.pszName); });

// The whole save path of a layout 0.0 document: No then OK writes the old
// layout and the question comes again next time; Yes then writes layout 1.0.
TEST(CheckSaveVersion, OldDocumentIsAskedAgainUntilUpgraded) {
    CSyncItemList list;
    list.SetAt(-1, "a", "b", "*.c");
    list.m_strDocLog = "wlog";
    int nVersion = 0;

    SaveVersionDecision d = CheckSaveVersion(
        nVersion, [] { return UpgradeAnswer::No; }, [] { return KeepLayoutAnswer::Ok; });
    ASSERT_TRUE(d.bSave);
    nVersion = d.nFileVersion;
    std::string bytes = WriteKvd(list, nVersion);
    EXPECT_EQ(bytes.substr(1, 23), KVD_HEADER_0_0);
    EXPECT_EQ(bytes.find("*.c"), std::string::npos);
    EXPECT_EQ(bytes.find("wlog"), std::string::npos);

    int nAsked = 0;
    d = CheckSaveVersion(
        nVersion,
        [&] {
            ++nAsked;
            return UpgradeAnswer::Yes;
        },
        [] { return KeepLayoutAnswer::Cancel; });
    EXPECT_EQ(nAsked, 1);
    ASSERT_TRUE(d.bSave);
    nVersion = d.nFileVersion;
    bytes = WriteKvd(list, nVersion);
    EXPECT_EQ(bytes.substr(1, 23), KVD_HEADER_1_0);
    EXPECT_NE(bytes.find("*.c"), std::string::npos);
    EXPECT_NE(bytes.find("wlog"), std::string::npos);
}

} // namespace
} // namespace kovrel
