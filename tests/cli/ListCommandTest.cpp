// kovrel-sync --list, run as the real program on real files.
#include "document/KvdFormat.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <spawn.h>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace kovrel {
namespace {

namespace fs = std::filesystem;

struct RunResult {
    int nExit = -1;
    std::string strOut;
    std::string strErr;
};

std::string ReadFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

void WriteFile(const fs::path& path, const std::string& data) {
    std::ofstream out(path, std::ios::binary);
    out << data;
}

class ListCommand : public ::testing::Test {
protected:
    void SetUp() override {
        std::string strTemplate = (fs::temp_directory_path() / "kovrel-list-XXXXXX").string();
        ASSERT_NE(::mkdtemp(strTemplate.data()), nullptr);
        m_dir = strTemplate;
    }
    void TearDown() override { fs::remove_all(m_dir); }

    // Runs kovrel-sync with the arguments, standard output and error into files.
    RunResult Run(const std::vector<std::string>& args) {
        const fs::path outPath = m_dir / "stdout";
        const fs::path errPath = m_dir / "stderr";
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 1, outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                         0600);
        posix_spawn_file_actions_addopen(&actions, 2, errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                         0600);
        std::vector<std::string> argStrings{KOVREL_SYNC_EXE};
        argStrings.insert(argStrings.end(), args.begin(), args.end());
        std::vector<char*> argv;
        for (std::string& s : argStrings)
            argv.push_back(s.data());
        argv.push_back(nullptr);
        pid_t pid = 0;
        RunResult r;
        const int nSpawn =
            posix_spawn(&pid, KOVREL_SYNC_EXE, &actions, nullptr, argv.data(), environ);
        posix_spawn_file_actions_destroy(&actions);
        EXPECT_EQ(nSpawn, 0);
        if (nSpawn != 0)
            return r;
        int nStatus = 0;
        EXPECT_EQ(::waitpid(pid, &nStatus, 0), pid);
        EXPECT_TRUE(WIFEXITED(nStatus));
        r.nExit = WIFEXITED(nStatus) ? WEXITSTATUS(nStatus) : -1;
        r.strOut = ReadFile(outPath);
        r.strErr = ReadFile(errPath);
        return r;
    }

    RunResult List(const fs::path& doc) { return Run({"--list", doc.string()}); }

    fs::path Doc(const char* pszName, const std::string& data) {
        const fs::path path = m_dir / pszName;
        WriteFile(path, data);
        return path;
    }

    fs::path m_dir;
};

fs::path Example(const char* pszName) {
    return fs::path(KOVREL_SOURCE_DIR) / "examples" / pszName;
}

TEST_F(ListCommand, ShippedSample) {
    const RunResult r = List(Example("sample.kvd"));
    EXPECT_EQ(r.nExit, 0);
    EXPECT_EQ(r.strErr, "");
    EXPECT_EQ(r.strOut, "version 1.0\n"
                        "item 1\n"
                        "path1 /home/share/資料/見積書\n"
                        "path2 /mnt/backup/資料/見積書\n"
                        "option 0x00000100\n"
                        "pattern *.xlsx\n"
                        "pattern *.docx\n"
                        "pattern !~$*\n"
                        "item 2\n"
                        "path1 /home/share/写真\n"
                        "path2 /media/usb/写真\n"
                        "option 0x00010002\n"
                        "pattern *.jpg\n"
                        "pattern !\\サムネイル\\\n"
                        "item 3\n"
                        "path1 C:\\Users\\田中\\ノート.txt\n"
                        "path2 D:\\Backup\\ノート.txt\n"
                        "option 0x00000000\n"
                        "item 4\n"
                        "path1 /home/share/Café ☕\n"
                        "path2 /mnt/backup/Café ☕\n"
                        "option 0x00000298\n"
                        "pattern *.txt\n"
                        "doclog a/var/log/kovrel/同期.log\n");
}

TEST_F(ListCommand, ShippedLegacySample) {
    const RunResult r = List(Example("legacy-v0.kvd"));
    EXPECT_EQ(r.nExit, 0);
    EXPECT_EQ(r.strErr, "");
    EXPECT_EQ(r.strOut, "version 0.0\n"
                        "item 1\n"
                        "path1 C:\\データ\\原稿\n"
                        "path2 \\\\server\\共有\\原稿\n"
                        "option 0x00000000\n"
                        "item 2\n"
                        "path1 C:\\ソフト\\設定.ini\n"
                        "path2 A:\\設定.ini\n"
                        "option 0x00000500\n");
}

TEST_F(ListCommand, OlderLayoutUnderANewerHeaderShowsTheHeaderVersion) {
    // Version 1.5 is not 0x100, so the body is layout 0.0: no sections, no patterns.
    std::string data;
    AppendArchiveString(data, "KovrelDuplicator Ver1.5");
    data += std::string("\x01\x00\x00\x00", 4);
    AppendArchiveString(data, "/a");
    AppendArchiveString(data, "");
    data += std::string("\xFF\xFF\xFF\xFF", 4);
    const RunResult r = List(Doc("v15.kvd", data));
    EXPECT_EQ(r.nExit, 0);
    EXPECT_EQ(r.strOut, "version 1.5\nitem 1\npath1 /a\npath2 \noption 0xFFFFFFFF\n");
}

TEST_F(ListCommand, PatternLinesAndUnprintableBytes) {
    CSyncItemList list;
    // A final line feed ends the last line; an empty line inside is kept.
    list.SetAt(-1, "/data/\x83\x65\x83\x58\x83\x67", "/x\ny\tz", "*.c\n\n!*.o\r\n");
    const RunResult r = List(Doc("odd.kvd", WriteKvd(list, KVD_VERSION_1_0)));
    EXPECT_EQ(r.nExit, 0);
    EXPECT_EQ(r.strOut, "version 1.0\n"
                        "item 1\n"
                        "path1 /data/\\x83e\\x83X\\x83g\n"
                        "path2 /x\\x0Ay\\x09z\n"
                        "option 0x00000000\n"
                        "pattern *.c\n"
                        "pattern \n"
                        "pattern !*.o\\x0D\n");
}

TEST_F(ListCommand, ZeroByteDocumentIsEmpty) {
    const RunResult r = List(Doc("empty.kvd", ""));
    EXPECT_EQ(r.nExit, 0);
    EXPECT_EQ(r.strOut, "");
    EXPECT_EQ(r.strErr, "");
}

TEST_F(ListCommand, EmptyLayout10Document) {
    CSyncItemList list;
    const RunResult r = List(Doc("none.kvd", WriteKvd(list, KVD_VERSION_1_0)));
    EXPECT_EQ(r.nExit, 0);
    EXPECT_EQ(r.strOut, "version 1.0\n");
}

TEST_F(ListCommand, ForeignDocument) {
    for (const std::string& data :
         {std::string("\x0BHello world and more"),
          std::string("\x17SomeOtherProgram Ver1.0") + std::string(5, '\0'),
          std::string("\x13KovrelDuplicator Ve")}) {
        const RunResult r = List(Doc("foreign.kvd", data));
        EXPECT_EQ(r.nExit, 3);
        EXPECT_EQ(r.strOut, "");
        EXPECT_EQ(r.strErr, "指定されたファイルはKovrelDuplicatorのデータファイルではないか、"
                            "読み込むことのできないバージョンです。\n");
    }
}

TEST_F(ListCommand, TruncatedDocument) {
    const std::string sample = ReadFile(Example("sample.kvd"));
    ASSERT_GT(sample.size(), 100u);
    for (std::size_t n :
         {std::size_t{1}, std::size_t{24}, std::size_t{30}, sample.size() / 2, sample.size() - 1}) {
        const fs::path doc = Doc("cut.kvd", sample.substr(0, n));
        const RunResult r = List(doc);
        EXPECT_EQ(r.nExit, 3) << n;
        EXPECT_EQ(r.strOut, "") << n;
        // The program's own text, then which document it is about.
        EXPECT_EQ(r.strErr, "予期しないﾌｧｲﾙ形式です。\nkovrel-sync: \"" + doc.string() +
                                "\" is cut short or damaged\n")
            << n;
    }
}

TEST_F(ListCommand, InconsistentCountIsRefusedAtOnce) {
    std::string data;
    AppendArchiveString(data, KVD_HEADER_1_0);
    data += std::string("\xFF\xFF\xFF\x7F", 4); // two billion items in a few bytes
    data += std::string(16, '\0');
    const fs::path doc = Doc("count.kvd", data);
    const RunResult r = List(doc);
    EXPECT_EQ(r.nExit, 3);
    EXPECT_EQ(r.strErr, "予期しないﾌｧｲﾙ形式です。\nkovrel-sync: \"" + doc.string() +
                            "\" is cut short or damaged\n");
}

// Huge or lying documents end with the archive error and exit status 3 in every
// command that reads a document, and say why; the document is left as it was.
// The 4 GiB one is sparse: a valid beginning, then a hole that takes no disk.
TEST_F(ListCommand, HugeOrLyingDocumentIsAnArchiveErrorInEveryCommand) {
    std::string strHeader;
    AppendArchiveString(strHeader, KVD_HEADER_1_0);
    struct Case {
        const char* pszName;
        std::string data;
        off_t nSize; // 0: as written
        const char* pszWhy;
    };
    const Case cases[] = {
        {"sparse 4 GiB", strHeader + std::string(5, '\0'), off_t{4} << 30,
         " is larger than 256 MiB, more than any document holds\n"},
        {"count past the bytes",
         strHeader + std::string("\x40\x42\x0F\x00", 4) + std::string(64, '\0'), 0,
         " is cut short or damaged\n"},
        {"length past the bytes",
         strHeader + std::string("\x01\0\0\0\xFF\xFF\xFF", 7) + std::string("\xF0\xFF\xFF\x7F", 4) +
             "abc",
         0, " is cut short or damaged\n"},
    };
    for (const Case& c : cases) {
        const fs::path doc = Doc("huge.kvd", c.data);
        if (c.nSize != 0) {
            ASSERT_EQ(::truncate(doc.c_str(), c.nSize), 0);
        }
        const auto nSize = fs::file_size(doc);
        for (const std::vector<std::string>& args :
             {std::vector<std::string>{"--list", doc.string()},
              std::vector<std::string>{"--dry-run", doc.string()},
              std::vector<std::string>{"--add-item", doc.string(), "/a", "/b"}}) {
            SCOPED_TRACE(std::string(c.pszName) + " " + args[0]);
            const RunResult r = Run(args);
            EXPECT_EQ(r.nExit, 3);
            EXPECT_EQ(r.strOut, "");
            EXPECT_EQ(r.strErr,
                      "予期しないﾌｧｲﾙ形式です。\nkovrel-sync: \"" + doc.string() + "\"" + c.pszWhy);
            EXPECT_EQ(fs::file_size(doc), nSize);
        }
    }
}

// --add-item takes the remembered-state bit like any other, alone or with
// others, and --list spells it out where it is in force; a one-way word keeps
// the bit as it came, shown in the word alone.
TEST_F(ListCommand, AddItemTakesTheRememberedStateBitAndListShowsIt) {
    const fs::path doc = m_dir / "remember.kvd";
    struct Item {
        const char* pszOption;
        const char* pszLines;
    };
    const Item items[] = {
        {"0x20000", "option 0x00020000\nremember last-run\n"},
        {"131122", "option 0x00020032\nremember last-run\n"}, // decimal: 0x20000 | 0x32
        {"0x20400", "option 0x00020400\nremember last-run\n"},
        {"0x20100", "option 0x00020100\n"}, // one-way: the bit is kept, not used
        {"0x30200", "option 0x00030200\n"},
        {"0x10000", "option 0x00010000\n"},
        {"0xFFFDFFFF", "option 0xFFFDFFFF\n"},
    };
    std::string strExpected = "version 1.0\n";
    int nItem = 0;
    for (const Item& item : items) {
        const RunResult add = Run({"--add-item", doc.string(), "/one", "/two", item.pszOption});
        ASSERT_EQ(add.nExit, 0) << add.strErr;
        EXPECT_EQ(add.strOut, "");
        strExpected += "item " + std::to_string(++nItem) + "\npath1 /one\npath2 /two\n";
        strExpected += item.pszLines;
    }
    // With a pattern, the remembered state is listed before the pattern lines.
    ASSERT_EQ(Run({"--add-item", doc.string(), "/p", "/q", "0x20000", "*.txt"}).nExit, 0);
    strExpected += "item 8\npath1 /p\npath2 /q\noption 0x00020000\nremember last-run\n"
                   "pattern *.txt\n";

    const RunResult r = List(doc);
    EXPECT_EQ(r.nExit, 0);
    EXPECT_EQ(r.strErr, "");
    EXPECT_EQ(r.strOut, strExpected);

    // The saved word is the very word typed: read back from the file's bytes.
    CSyncItemList list;
    int nVersion = 0;
    ASSERT_EQ(LoadKvdFile(doc.string(), list, nVersion).eStatus, KvdFileStatus::Ok);
    ASSERT_EQ(list.GetCount(), 8);
    EXPECT_EQ(list.GetAt(0)->dwOption, 0x20000u);
    EXPECT_EQ(list.GetAt(3)->dwOption, 0x20100u);
}

TEST_F(ListCommand, MissingFileOrDirectoryNamesFileAndCause) {
    const fs::path missing = m_dir / "no-such.kvd";
    RunResult r = List(missing);
    EXPECT_EQ(r.nExit, 3);
    EXPECT_EQ(r.strOut, "");
    EXPECT_EQ(r.strErr,
              "kovrel-sync: cannot open \"" + missing.string() + "\": No such file or directory\n");

    r = List(m_dir);
    EXPECT_EQ(r.nExit, 3);
    EXPECT_EQ(r.strErr, "kovrel-sync: cannot read \"" + m_dir.string() + "\": Is a directory\n");
}

} // namespace
} // namespace kovrel
