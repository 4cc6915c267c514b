// libFuzzer entry point for the document reader.
#include "KvdReaderCheck.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* pData, std::size_t nSize) {
    kovrel::fuzz::CheckKvdReader(pData, nSize);
    return 0;
}
