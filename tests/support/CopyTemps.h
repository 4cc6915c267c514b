// Names of copy temporaries as the copy makes them, for tests that need an
// abandoned one, a live one or one of another machine.
#pragma once

#include "platform/FileSystem.h"
#include "platform/PosixFile.h"

#include <cstdint>
#include <string>
#include <string_view>

#include <unistd.h>

namespace kovrel::test {

inline std::string CopyTempNameOf(std::string_view strHost, std::string_view strBoot,
                                  std::uint64_t nPid, std::uint64_t nCounter = 0) {
    std::string str(platform::kCopyTempPrefix);
    str += strHost;
    str += '-';
    str += strBoot;
    str += '-' + std::to_string(nPid) + '-' + std::to_string(nCounter);
    return str;
}

// Made on this machine in an earlier boot: certainly abandoned.
inline std::string AbandonedTempName(std::uint64_t nCounter = 0) {
    const std::string strBoot = platform::ThisBootToken() == std::string(32, 'e')
                                    ? std::string(32, 'f')
                                    : std::string(32, 'e');
    return CopyTempNameOf(platform::ThisMachineToken(), strBoot, 4242, nCounter);
}

// Made by this very process: a live run's.
inline std::string LiveTempName(std::uint64_t nCounter = 0) {
    return CopyTempNameOf(platform::ThisMachineToken(), platform::ThisBootToken(),
                          static_cast<std::uint64_t>(::getpid()), nCounter);
}

// Made on another machine, seen over a network file system: never ours to judge.
inline std::string ForeignTempName(std::uint64_t nCounter = 0) {
    const std::string strHost = platform::ThisMachineToken() == "0123456789abcdef"
                                    ? std::string("fedcba9876543210")
                                    : std::string("0123456789abcdef");
    return CopyTempNameOf(strHost, std::string(32, 'a'), 1, nCounter);
}

} // namespace kovrel::test
