// Deterministic mutations of the sample documents through the reader: every
// cut, every single-byte change to a few telling values, and thousands of
// random edits from a fixed seed. The same inputs every run, so a failure
// reproduces; any broken guarantee aborts in CheckKvdReader.
#include "KvdReaderCheck.h"

#include "document/KvdFormat.h"
#include "platform/IgnoreFailure.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <fstream>
#include <new>
#include <random>
#include <string>
#include <vector>

#include "support/HookedAllocator.h"

namespace kovrel {
namespace {

std::string ReadExample(const char* pszName) {
    std::ifstream in(std::string(KOVREL_SOURCE_DIR) + "/examples/" + pszName, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

// A document with what the samples lack: dword and word lengths, 16-bit
// strings with surrogates, unknown sections of both kinds, a 0.0-looking tail.
std::string ConstructedDocument() {
    CSyncItemList list;
    list.SetAt(-1, std::string(300, 'w').c_str(), "\x80\xFF\xE3\x81", "a\n\n!b\\c")->dwOption =
        0x10000;
    list.SetAt(-1, "\xF0\x9F\x98\x80", "\xE3\x80\x9C\xC2\xA5", nullptr);
    list.m_strDocLog = "w/\xE8\xB3\x87.log";
    std::string bytes = WriteKvd(list, KVD_VERSION_1_0);
    bytes.pop_back();
    bytes += std::string("\x03\x05\x02\x00"
                         "abcd",
                         8);
    bytes += std::string("\x01\x09\x01\x00\xFF\xFF\xFF\x03\x00\x00\x00xyz", 15);
    bytes += '\0';
    return bytes;
}

struct Seed {
    const char* pszName;
    std::string bytes;
};

std::vector<Seed> Seeds() {
    std::vector<Seed> seeds{{"sample.kvd", ReadExample("sample.kvd")},
                            {"legacy-v0.kvd", ReadExample("legacy-v0.kvd")},
                            {"constructed", ConstructedDocument()}};
    for (const Seed& s : seeds)
        EXPECT_FALSE(s.bytes.empty()) << s.pszName;
    return seeds;
}

void Check(const std::string& data) {
    test::g_nLargestAllocation = 0;
    {
        CSyncItemList list;
        int nVersion = 0;
        test::g_bTrackLargest = true;
        platform::IgnoreFailure(ReadKvd(data, list, nVersion));
        test::g_bTrackLargest = false;
    }
    // Text grows at most threefold in UTF-8, plus the containers' doubling.
    const std::size_t nBound = 8 * data.size() + 4096;
    if (test::g_nLargestAllocation > nBound) {
        ADD_FAILURE() << "reader allocated " << test::g_nLargestAllocation << " bytes at once for "
                      << data.size() << " bytes of input";
    }
    fuzz::CheckKvdReader(reinterpret_cast<const std::uint8_t*>(data.data()), data.size());
}

TEST(KvdReplay, AllocationTrackingSeesTheReader) {
    // Without this the bound in Check could pass for want of measurements.
    std::string data;
    AppendArchiveString(data, KVD_HEADER_0_0);
    data += std::string("\x01\0\0\0", 4);
    AppendArchiveString(data, std::string(5000, 'x'));
    AppendArchiveString(data, "");
    data += std::string(4, '\0');
    test::g_nLargestAllocation = 0;
    CSyncItemList list;
    int nVersion = 0;
    test::g_bTrackLargest = true;
    const KvdStatus eStatus = ReadKvd(data, list, nVersion).eStatus;
    test::g_bTrackLargest = false;
    EXPECT_EQ(eStatus, KvdStatus::Ok);
    EXPECT_GE(test::g_nLargestAllocation.load(), 5000u);
}

TEST(KvdReplay, EveryCutOfEverySeed) {
    std::size_t nRuns = 0;
    for (const Seed& s : Seeds()) {
        for (std::size_t n = 0; n <= s.bytes.size(); ++n, ++nRuns)
            Check(s.bytes.substr(0, n));
    }
    EXPECT_GT(nRuns, 500u);
}

TEST(KvdReplay, EverySingleByteChangeOfEverySeed) {
    std::size_t nRuns = 0;
    for (const Seed& s : Seeds()) {
        for (std::size_t i = 0; i < s.bytes.size(); ++i) {
            const auto b = static_cast<unsigned char>(s.bytes[i]);
            for (unsigned v : {0x00u, 0x01u, 0xFFu, b ^ 0x01u, b ^ 0x80u}) {
                std::string m = s.bytes;
                m[i] = static_cast<char>(v);
                Check(m);
                ++nRuns;
            }
        }
    }
    EXPECT_GT(nRuns, 4000u);
}

TEST(KvdReplay, RandomEditsFromAFixedSeed) {
    const std::vector<Seed> seeds = Seeds();
    std::mt19937 rng(20240611u); // the engine's output is fixed by the standard
    auto below = [&](std::size_t n) { return n ? static_cast<std::size_t>(rng() % n) : 0; };
    static const std::string kInteresting[] = {
        std::string("\xFF\xFF\xFF\xFF", 4), std::string("\xFF\xFE\xFF", 3),
        std::string("\xFF\xFF\xFF\x7F", 4), std::string("\x00\x00\x00\x80", 4),
        std::string("\x01\x01\x01\x00", 4), std::string("\x01\x02\x02\x00", 4),
        std::string("\x03\x00\xFF\xFF", 4), std::string("\xFF\x2C\x01", 3)};
    std::size_t nRuns = 0;
    for (int nCase = 0; nCase < 4000; ++nCase, ++nRuns) {
        std::string m = seeds[below(seeds.size())].bytes;
        const std::size_t nEdits = 1 + below(4);
        for (std::size_t e = 0; e < nEdits; ++e) {
            const std::size_t nPos = below(m.size() + 1);
            switch (below(6)) {
            case 0: // random byte
                if (nPos < m.size())
                    m[nPos] = static_cast<char>(rng());
                break;
            case 1: // insert random bytes
                m.insert(nPos, std::string(1 + below(8), static_cast<char>(rng())));
                break;
            case 2: // delete a range
                m.erase(nPos, below(16));
                break;
            case 3: // duplicate a range
                m.insert(nPos, m.substr(below(m.size() + 1), below(32)));
                break;
            case 4: // overwrite with a value the format gives meaning to
            {
                const std::string& v = kInteresting[below(std::size(kInteresting))];
                m.replace(nPos, v.size(), v);
                break;
            }
            default: // splice in part of another seed
            {
                const std::string& other = seeds[below(seeds.size())].bytes;
                m.insert(nPos, other.substr(below(other.size()), below(64)));
                break;
            }
            }
        }
        Check(m);
    }
    EXPECT_EQ(nRuns, 4000u);
}

} // namespace
} // namespace kovrel
