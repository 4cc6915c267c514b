// What the trash costs at the file system layer, against doing without it:
//   delete   N files removed for good, and the same N moved to the trash;
//   replace  N files overwritten by a copy, without and with their old
//            version kept in the trash by a hard link first.
// The trash lies in the scratch directory's own file system (the home trash
// points there), as it does for a run over the home's file system. The
// machine's noise is large: run it several times and on tmpfs (/dev/shm) too,
// where only the system calls count.
//
//   trash_bench [files=10000] [scratch directory=$TMPDIR or /tmp]
#include "platform/PosixFileSystem.h"
#include "platform/Trash.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include <fcntl.h>
#include <unistd.h>

using namespace kovrel::platform;

namespace {

void MakeFiles(const std::string& strDir, int nFiles, const char* lpszData) {
    std::filesystem::create_directories(strDir);
    for (int i = 0; i < nFiles; ++i) {
        const std::string strPath = strDir + "/file" + std::to_string(i);
        const int fd = ::open(strPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
        if (fd < 0 || ::write(fd, lpszData, std::char_traits<char>::length(lpszData)) < 0) {
            std::perror(strPath.c_str());
            std::exit(1);
        }
        ::close(fd);
    }
    ::sync();
}

template <class F> double Seconds(F&& fn) {
    const auto start = std::chrono::steady_clock::now();
    fn();
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

} // namespace

int main(int argc, char** argv) {
    const int nFiles = argc > 1 ? std::atoi(argv[1]) : 10000;
    const char* lpszTmp = std::getenv("TMPDIR");
    std::string strBase = argc > 2 ? argv[2] : (lpszTmp && *lpszTmp ? lpszTmp : "/tmp");
    strBase += "/kovrel-trash-bench-XXXXXX";
    if (!::mkdtemp(strBase.data())) {
        std::perror("mkdtemp");
        return 1;
    }
    const std::string strDir = strBase + "/tree";

    PosixFileSystem fs;
    TrashEnv env = TrashEnv::FromProcess();
    env.strDataHome = strBase + "/data";
    fs.SetTrashEnv(env);
    // As in a run: the files lie below a top, reached without following links.
    fs.SetTops(strBase, strBase + "/new");
    int nFailed = 0;

    MakeFiles(strDir, nFiles, "contents");
    const double dDelete = Seconds([&] {
        for (int i = 0; i < nFiles; ++i)
            nFailed += fs.DeleteFile(strDir + "/file" + std::to_string(i)) != 0;
    });
    MakeFiles(strDir, nFiles, "contents");
    const double dTrash = Seconds([&] {
        for (int i = 0; i < nFiles; ++i)
            nFailed += !fs.MoveToTrash(strDir + "/file" + std::to_string(i)).Ok();
    });
    std::filesystem::remove_all(strBase + "/data");

    MakeFiles(strDir, nFiles, "old version");
    MakeFiles(strBase + "/new", 1, "new version");
    const std::string strNew = strBase + "/new/file0";
    const double dCopy = Seconds([&] {
        for (int i = 0; i < nFiles; ++i)
            nFailed += fs.CopyFile(strNew, strDir + "/file" + std::to_string(i)) != 0;
    });
    MakeFiles(strDir, nFiles, "old version");
    const double dKeepCopy = Seconds([&] {
        for (int i = 0; i < nFiles; ++i) {
            const std::string strPath = strDir + "/file" + std::to_string(i);
            nFailed += !fs.KeepInTrash(strPath).Ok();
            nFailed += fs.CopyFile(strNew, strPath) != 0;
        }
    });

    std::printf("files %d, failures %d\n", nFiles, nFailed);
    std::printf("delete   for good %.3f s   to the trash %.3f s   ratio %.2f\n", dDelete, dTrash,
                dTrash / dDelete);
    std::printf("replace  plain    %.3f s   kept first   %.3f s   ratio %.2f\n", dCopy, dKeepCopy,
                dKeepCopy / dCopy);
    std::filesystem::remove_all(strBase);
    return nFailed == 0 ? 0 : 1;
}
