// The FileSystem of POSIX systems (Linux first). Everything that is specific to
// the operating system's file API lives in this file and its .cpp; a Windows port
// puts a sibling implementation next to it and leaves the engine alone.
#pragma once

#include "platform/FileSystem.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace kovrel::platform {

class PosixFileSystem : public FileSystem {
public:
    // Called by CopyFile before each chunk of a regular file's data goes into the
    // temporary file. nDone is the number of bytes already written; the hook may
    // shorten nChunk (never below 1). A non-zero result ends the copy with that
    // errno exactly as a failed write would: the temporary is removed and the
    // target stays as it was. Tests use it to make a disk run full half way.
    using CopyChunkHook =
        std::function<int(const std::string& strTo, std::uint64_t nDone, std::size_t& nChunk)>;

    PosixFileSystem() = default;

    AttrStatus GetAttr(const std::string& strPath, FileAttr& attr, int& nError) override;
    int ListDir(const std::string& strPath, std::vector<DirEntry>& entries,
                std::vector<std::string>* pStaleTemps = nullptr) override;
    int CopyFile(const std::string& strFrom, const std::string& strTo) override;
    int DeleteFile(const std::string& strPath) override;
    int CreateDir(const std::string& strPath) override;
    int RemoveDir(const std::string& strPath) override;
    int GetTimes(const std::string& strPath, FileTime* pAccess, FileTime* pWrite) override;
    int SetTimes(const std::string& strPath, const FileTime* pAccess,
                 const FileTime* pWrite) override;
    int SetMode(const std::string& strPath, std::uint32_t dwMode) override;
    int RealPath(const std::string& strPath, std::string& strOut) override;
    int CountUnlisted(const std::string& strDir, std::size_t& nCount) override;

    // An empty hook (the default) costs nothing on the copy path.
    void SetCopyChunkHook(CopyChunkHook hook) { m_copyChunkHook = std::move(hook); }

private:
    int CopyRegular(const std::string& strFrom, const std::string& strTo);
    int CopySymlink(const std::string& strFrom, const std::string& strTo, std::uint64_t nTargetSize,
                    const FileTime& ftAccess, const FileTime& ftWrite);
    int CopyData(int fdIn, int fdOut, const std::string& strTo);
    int CopyDataReadWrite(int fdIn, int fdOut, const std::string& strTo, std::uint64_t& nDone);

    CopyChunkHook m_copyChunkHook;
};

// The parent directory of a path as the kernel sees it: trailing slashes are
// ignored, a name without a slash has "." as its parent, and "/" is its own.
std::string ParentPath(const std::string& strPath);

// The file mode creation mask of this process, read without changing it.
std::uint32_t ProcessUmask();

} // namespace kovrel::platform
