// What the document reader must guarantee for any bytes at all; shared by the
// libFuzzer target and the deterministic replay that runs in every build.
#pragma once

#include <cstddef>
#include <cstdint>

namespace kovrel::fuzz {

// Reads data as a document and aborts the process when a guarantee is broken:
// a failed read must leave the list empty (and the version alone), a successful
// one must save and reopen to exactly the same items, byte for byte.
void CheckKvdReader(const std::uint8_t* pData, std::size_t nSize);

} // namespace kovrel::fuzz
