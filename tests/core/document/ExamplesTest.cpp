// The sample documents under examples/ are made by the writer from the lists
// below. This test checks that the shipped bytes are exactly what the writer
// produces today; run it with KOVREL_UPDATE_EXAMPLES=1 to (re)write them.
#include "document/KvdFormat.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <string>

namespace kovrel {
namespace {

struct SampleItem {
    const char* pszPath1;
    const char* pszPath2;
    std::uint32_t dwOption;
    const char* pszPattern;
};

void Build(CSyncItemList& list, std::initializer_list<SampleItem> items) {
    for (const SampleItem& it : items)
        list.SetAt(-1, it.pszPath1, it.pszPath2, it.pszPattern)->dwOption = it.dwOption;
}

// Layout 1.0: Japanese paths, patterns, an item without patterns, a name code
// page 932 cannot hold (kept in the 16-bit form), and a log setting.
std::string SampleDocument() {
    CSyncItemList list;
    Build(list, {
                    {"/home/share/資料/見積書", "/mnt/backup/資料/見積書", SIO_ONEWAY_1TO2,
                     "*.xlsx\n*.docx\n!~$*"},
                    {"/home/share/写真", "/media/usb/写真", SIO_NOFILE1_IGNORE | SIO_NO_SUBDIRS,
                     "*.jpg\n!\\サムネイル\\"},
                    {"C:\\Users\\田中\\ノート.txt", "D:\\Backup\\ノート.txt", 0, nullptr},
                    {"/home/share/Café ☕", "/mnt/backup/Café ☕",
                     SIO_FORCE_RO1 | SIO_FORCE_RO2 | SIO_NOFILE2_DELETE | SIO_ONEWAY_2TO1, "*.txt"},
                });
    list.m_strDocLog = "a/var/log/kovrel/同期.log";
    return WriteKvd(list, KVD_VERSION_1_0);
}

// Layout 0.0: paths and option words only.
std::string LegacyDocument() {
    CSyncItemList list;
    Build(list,
          {
              {"C:\\データ\\原稿", "\\\\server\\共有\\原稿", 0, nullptr},
              {"C:\\ソフト\\設定.ini", "A:\\設定.ini", SIO_ONEWAY_1TO2 | SIO_COPY_OLDER, nullptr},
          });
    return WriteKvd(list, 0);
}

std::string ExamplePath(const char* pszName) {
    return std::string(KOVREL_SOURCE_DIR) + "/examples/" + pszName;
}

void CheckShipped(const char* pszName, const std::string& expected) {
    const std::string strPath = ExamplePath(pszName);
    const char* pszUpdate = std::getenv("KOVREL_UPDATE_EXAMPLES");
    if (pszUpdate && std::string(pszUpdate) == "1") {
        std::ofstream out(strPath, std::ios::binary | std::ios::trunc);
        out << expected;
        ASSERT_TRUE(out.good()) << strPath;
    }
    std::ifstream in(strPath, std::ios::binary);
    ASSERT_TRUE(in.good()) << strPath;
    const std::string shipped((std::istreambuf_iterator<char>(in)), {});
    EXPECT_TRUE(shipped == expected)
        << strPath << " differs from what the writer produces (" << shipped.size() << " vs "
        << expected.size() << " bytes); rerun with KOVREL_UPDATE_EXAMPLES=1";
}

TEST(Examples, SampleDocumentIsWhatTheWriterProduces) {
    CheckShipped("sample.kvd", SampleDocument());
}

TEST(Examples, LegacyDocumentIsWhatTheWriterProduces) {
    CheckShipped("legacy-v0.kvd", LegacyDocument());
}

TEST(Examples, SamplesReadBackComplete) {
    CSyncItemList list;
    int nVersion = 0;
    ASSERT_EQ(ReadKvd(SampleDocument(), list, nVersion).eStatus, KvdStatus::Ok);
    EXPECT_EQ(nVersion, KVD_VERSION_1_0);
    ASSERT_EQ(list.GetCount(), 4);
    EXPECT_EQ(list.GetAt(3)->lpszPath1, "/home/share/Café ☕");
    EXPECT_EQ(list.GetAt(2)->lpszPattern, "");
    EXPECT_EQ(list.m_strDocLog, "a/var/log/kovrel/同期.log");

    ASSERT_EQ(ReadKvd(LegacyDocument(), list, nVersion).eStatus, KvdStatus::Ok);
    EXPECT_EQ(nVersion, 0);
    ASSERT_EQ(list.GetCount(), 2);
    EXPECT_FALSE(list.GetAt(0)->lpszPattern.has_value());
    EXPECT_EQ(list.m_strDocLog, "");
}

} // namespace
} // namespace kovrel
