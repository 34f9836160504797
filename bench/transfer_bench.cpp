// Throughput of DownloadToFile (write + part and package digests) beside a
// bare WinHTTP read loop that discards the body, on the same URL, and the
// two digests alone over the same number of bytes from memory.
// Usage: transfer_bench URL OUTPUT_FILE [ROUNDS]
// Prints MB/s (10^6 bytes per second) for each round.
#include <windows.h>
#include <winhttp.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <limits>
#include <string>
#include <vector>

#include "shell/launcher_state.h"
#include "bench_support.h"
#include "transfer/download_url.h"
#include "transfer/http_transfer.h"
#include "transfer/sha256.h"

namespace {

using bench::BareRead;
using bench::Clock;
using bench::SecondsSince;

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: transfer_bench URL OUTPUT_FILE [ROUNDS]\n");
        return 2;
    }
    const std::wstring url = argv[1];
    const std::filesystem::path output = argv[2];
    const int rounds = argc > 3 ? _wtoi(argv[3]) : 1;

    for (int round = 1; round <= rounds; ++round) {
        std::uint64_t hashed = 0;
        auto start = Clock::now();
        {
            std::vector<char> chunk(262144, '\x5a');
            Sha256Hasher part;
            Sha256Hasher package;
            for (; hashed < (std::uint64_t{1} << 30); hashed += chunk.size()) {
                part.Update(chunk.data(), static_cast<std::uint32_t>(chunk.size()));
                package.Update(chunk.data(), static_cast<std::uint32_t>(chunk.size()));
            }
            part.FinishHex();
            package.FinishHex();
        }
        const double hashSeconds = SecondsSince(start);
        std::printf("round %d  two digests, from memory:   %llu bytes in %6.2f s = %7.1f MB/s\n", round,
                    static_cast<unsigned long long>(hashed), hashSeconds, hashed / hashSeconds / 1e6);

        start = Clock::now();
        const std::uint64_t bare = BareRead(url);
        const double bareSeconds = SecondsSince(start);
        std::printf("round %d  bare WinHTTP read:          %llu bytes in %6.2f s = %7.1f MB/s\n", round,
                    static_cast<unsigned long long>(bare), bareSeconds, bare / bareSeconds / 1e6);

        std::ofstream stream(output, std::ios::binary | std::ios::trunc);
        Sha256Hasher part;
        Sha256Hasher package;
        std::uint64_t partBytes = 0;
        PartSink sink{stream, part, package, partBytes};
        launcherState.bytesDone = 0;
        start = Clock::now();
        try {
            DownloadToFile(url, sink, std::numeric_limits<std::uint64_t>::max());
            stream.close();
        } catch (const std::exception& e) {
            std::printf("DownloadToFile failed: %s\n", e.what());
            return 1;
        }
        const double seconds = SecondsSince(start);
        std::printf("round %d  DownloadToFile (+2 digests): %llu bytes in %6.2f s = %7.1f MB/s  part %s\n", round,
                    static_cast<unsigned long long>(partBytes), seconds, partBytes / seconds / 1e6,
                    part.FinishHex().c_str());
    }
    return 0;
}
