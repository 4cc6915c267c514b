// Suites that run once for each way the POSIX file system reaches paths below
// an item's tops: openat2 where the kernel has it, and the component walk.
#pragma once

#include "platform/PosixFileSystem.h"

#include <string>

#include <gtest/gtest.h>

namespace kovrel::test {

inline auto BelowTopsWalks() {
    return ::testing::Values(platform::PosixFileSystem::BelowTops::Auto,
                             platform::PosixFileSystem::BelowTops::ComponentWalk);
}

inline std::string
BelowTopsWalkName(const ::testing::TestParamInfo<platform::PosixFileSystem::BelowTops>& walk) {
    return walk.param == platform::PosixFileSystem::BelowTops::Auto ? "Auto" : "ComponentWalk";
}

} // namespace kovrel::test
