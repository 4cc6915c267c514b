// The FileSystem of POSIX systems (Linux first). Everything that is specific to
// the operating system's file API lives in this file and its .cpp; a Windows port
// puts a sibling implementation next to it and leaves the engine alone.
#pragma once

#include "platform/FileSystem.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace kovrel::platform {

class PosixFileSystem : public FileSystem {
public:
    PosixFileSystem() = default;

    [[nodiscard]] AttrStatus GetAttr(const std::string& strPath, FileAttr& attr,
                                     int& nError) override;
    [[nodiscard]] int ListDir(const std::string& strPath, std::vector<DirEntry>& entries,
                              std::vector<std::string>* pStaleTemps = nullptr) override;
    [[nodiscard]] int CopyFile(const std::string& strFrom, const std::string& strTo) override;
    [[nodiscard]] int DeleteFile(const std::string& strPath) override;
    [[nodiscard]] int CreateDir(const std::string& strPath) override;
    [[nodiscard]] int RemoveDir(const std::string& strPath) override;
    [[nodiscard]] int GetTimes(const std::string& strPath, FileTime* pAccess,
                               FileTime* pWrite) override;
    [[nodiscard]] int SetTimes(const std::string& strPath, const FileTime* pAccess,
                               const FileTime* pWrite) override;
    [[nodiscard]] int SetMode(const std::string& strPath, std::uint32_t dwMode) override;
    [[nodiscard]] int RealPath(const std::string& strPath, std::string& strOut) override;
    [[nodiscard]] int CountUnlisted(const std::string& strDir, std::size_t& nCount) override;
    [[nodiscard]] FileResult ReadFile(const std::string& strPath, std::string& data) override;
    [[nodiscard]] FileResult WriteFile(const std::string& strPath, std::string_view data) override;

private:
    int CopyRegular(const std::string& strFrom, const std::string& strTo);
    int CopySymlink(const std::string& strFrom, const std::string& strTo, std::uint64_t nTargetSize,
                    const FileTime& ftAccess, const FileTime& ftWrite);
};

// The file mode creation mask of this process, read without changing it.
std::uint32_t ProcessUmask();

} // namespace kovrel::platform
