// The digests beside the transfer: whatever ends a part, both threads are
// joined before the failure leaves, and memory stays at the ring's size
// whatever passes.
#include <gtest/gtest.h>

#include <windows.h>
#include <psapi.h>
#include <tlhelp32.h>

#include <stdexcept>
#include <string>
#include <vector>

#include "test_support.h"
#include "transfer/digest_pipe.h"

namespace {

int ThreadsOfThisProcess() {
    const HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
    if (snapshot == INVALID_HANDLE_VALUE) return -1;
    THREADENTRY32 entry{};
    entry.dwSize = sizeof(entry);
    int count = 0;
    for (BOOL more = Thread32First(snapshot, &entry); more; more = Thread32Next(snapshot, &entry)) {
        if (entry.th32OwnerProcessID == GetCurrentProcessId()) ++count;
    }
    CloseHandle(snapshot);
    return count;
}

std::uint64_t PeakWorkingSet() {
    PROCESS_MEMORY_COUNTERS counters{};
    counters.cb = sizeof(counters);
    return K32GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof(counters)) ? counters.PeakWorkingSetSize : 0;
}

}  // namespace

TEST(DigestPipe, EveryEndJoinsBothThreads) {
    const std::vector<char> chunk(kDigestChunkBytes, 'v');
    const struct {
        const char* name;
        int chunks;
        const char* producerFailure;  // thrown after the chunks, as a cancel or a failed write is
    } kRows[] = {
        {"finished", 20, nullptr},
        {"cancelled part-way", 20, "Cancelled"},
        {"disk write at once", 0, "Disk write"},
    };
    {  // Wine may start a thread of its own on the first hashing; count after it
        Sha256Hasher part;
        Sha256Hasher package;
        DigestPipe warmUp(part, package);
        warmUp.Push(chunk.data(), chunk.size());
    }
    const int before = ThreadsOfThisProcess();
    ASSERT_GT(before, 0);
    for (const auto& row : kRows) {
        Sha256Hasher part;
        Sha256Hasher package;
        int during = -1;
        const std::string reported = test::ErrorText([&] {
            DigestPipe digests(part, package);
            during = ThreadsOfThisProcess();
            try {
                for (int i = 0; i < row.chunks; ++i) digests.Push(chunk.data(), chunk.size());
                if (row.producerFailure) throw std::runtime_error(row.producerFailure);
            } catch (...) {
                digests.Finish();
                throw;
            }
            digests.Finish();
        });
        EXPECT_EQ(reported, row.producerFailure ? row.producerFailure : "no error") << row.name;
        EXPECT_EQ(during, before + 2) << row.name;
        EXPECT_EQ(ThreadsOfThisProcess(), before) << row.name << ": threads left behind";
    }
}

TEST(DigestPipe, MemoryStaysAtTheRingWhateverPassesAndBothDigestsHoldEveryByte) {
    std::vector<char> chunk(kDigestChunkBytes);
    Sha256Hasher part;
    Sha256Hasher package;
    Sha256Hasher serial;
    const std::uint64_t peakBefore = PeakWorkingSet();
    {
        DigestPipe digests(part, package);
        for (int i = 0; i < 384; ++i) {  // 96 MiB, far faster pushed than hashed
            chunk[static_cast<std::size_t>(i)] = static_cast<char>(i);
            digests.Push(chunk.data(), chunk.size());
            serial.Update(chunk.data(), static_cast<std::uint32_t>(chunk.size()));
        }
        digests.Finish();
    }
    const std::uint64_t growth = PeakWorkingSet() - peakBefore;
    EXPECT_LT(growth, 16u << 20) << "peak working set grew by " << growth << " bytes";
    const std::string expected = serial.FinishHex();
    EXPECT_EQ(part.FinishHex(), expected);
    EXPECT_EQ(package.FinishHex(), expected);
}
