// The install attempt's transfer stages as the worker runs them, timed:
//   pipeline_bench transfer|stages MANIFEST_URL CACHE_FOLDER
//     fetch manifest -> download every part -> verify (stream digest, size,
//     read-back digest) -> rename; then, with "transfer", for reference, two
//     bare WinHTTP read loops over the same part URLs (no file, no digest):
//     synchronous, and asynchronous as the transfer runs. Peak working set of
//     this process after the stages.
//   pipeline_bench hash FILE
//     HashFileSha256 over FILE.
//   pipeline_bench digests FILE PARTS
//     The transfer's two digests (part and package) over FILE's bytes, held
//     in memory, fed the way the transfer feeds them: 256 KiB chunks through
//     the digests' ring, a new part digest every 1/PARTS of the file.
// Prints "key=value" lines for tools/bench; each timed section also prints
// its CPU: this process, the Wine server and the host (see bench::CpuMark).
#include <windows.h>
#include <psapi.h>
#include <winhttp.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cwchar>
#include <exception>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "pipeline/package_download.h"
#include "pipeline/package_verify.h"
#include "pipeline/release_manifest.h"
#include "shell/paths.h"
#include "transfer/download_host.h"
#include "bench_support.h"
#include "transfer/digest_pipe.h"
#include "transfer/download_url.h"
#include "transfer/sha256.h"
#include "transfer/text_encoding.h"

namespace {

using bench::BareRead;
using bench::BareReadAsync;
using bench::Clock;
using bench::CpuMark;
using bench::PrintCpuSince;
using bench::SecondsSince;

std::uint64_t PeakWorkingSet() {
    PROCESS_MEMORY_COUNTERS counters{};
    counters.cb = sizeof(counters);
    return GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof(counters)) ? counters.PeakWorkingSetSize : 0;
}

int Transfer(const std::wstring& url, const std::wstring& cacheFolder, bool withLoops) {
    manifestUrl = url;
    packageCacheFolder = cacheFolder;
    const std::uint64_t peakBefore = PeakWorkingSet();

    const CpuMark cpu;
    const Clock::time_point start = Clock::now();
    const ReleaseManifest manifest = FetchReleaseManifest();
    DownloadResult download = DownloadPackage(manifest);
    if (download.outcome != DownloadOutcome::Downloaded) {
        std::printf("error=the package was not downloaded (no room, or already in the cache)\n");
        return 1;
    }
    VerifyAndAssemble(manifest, download.paths, *download.packageDigest);
    const double seconds = SecondsSince(start);
    PrintCpuSince("pipeline", cpu);
    std::printf("bytes=%llu\nparts=%zu\npipeline_seconds=%.3f\n", static_cast<unsigned long long>(manifest.packageSize),
                manifest.parts.size(), seconds);
    std::printf("peak_working_set_before=%llu\npeak_working_set=%llu\n",
                static_cast<unsigned long long>(peakBefore), static_cast<unsigned long long>(PeakWorkingSet()));
    std::printf("setup_program=%s\n", WideToUtf8(download.paths.setupPath).c_str());
    if (!withLoops) return 0;

    const CpuMark bareCpu;
    const Clock::time_point bareStart = Clock::now();
    std::uint64_t bareBytes = 0;
    for (const ManifestPart& part : manifest.parts) bareBytes += BareRead(Utf8ToWide(part.url));
    std::printf("bare_bytes=%llu\nbare_seconds=%.3f\n", static_cast<unsigned long long>(bareBytes),
                SecondsSince(bareStart));
    PrintCpuSince("bare", bareCpu);

    const CpuMark asyncCpu;
    const Clock::time_point asyncStart = Clock::now();
    std::uint64_t asyncBytes = 0;
    for (const ManifestPart& part : manifest.parts) asyncBytes += BareReadAsync(Utf8ToWide(part.url));
    std::printf("bare_async_bytes=%llu\nbare_async_seconds=%.3f\n", static_cast<unsigned long long>(asyncBytes),
                SecondsSince(asyncStart));
    PrintCpuSince("bare_async", asyncCpu);
    return 0;
}

int Hash(const std::wstring& file) {
    const CpuMark cpu;
    const Clock::time_point start = Clock::now();
    const std::string digest = HashFileSha256(file);
    std::printf("hash_seconds=%.3f\nhash_digest=%s\n", SecondsSince(start), digest.c_str());
    PrintCpuSince("hash", cpu);
    return 0;
}

int Digests(const std::wstring& file, std::uint64_t parts) {
    std::ifstream in(std::filesystem::path(file), std::ios::binary);
    const std::uint64_t size = std::filesystem::file_size(std::filesystem::path(file));
    if (!in.is_open() || parts == 0 || size % parts != 0) throw std::runtime_error("File read");
    std::vector<char> bytes(size);
    if (!in.read(bytes.data(), static_cast<std::streamsize>(size))) throw std::runtime_error("File read");

    const std::uint64_t partBytes = size / parts;
    Sha256Hasher package;
    const CpuMark cpu;
    const Clock::time_point start = Clock::now();
    for (std::uint64_t offset = 0; offset < size; offset += partBytes) {
        Sha256Hasher part;
        DigestPipe digests(part, package);
        for (std::uint64_t at = offset; at < offset + partBytes; at += kDigestChunkBytes) {
            digests.Push(bytes.data() + at, std::min<std::uint64_t>(kDigestChunkBytes, offset + partBytes - at));
        }
        digests.Finish();
        part.FinishHex();
    }
    package.FinishHex();
    std::printf("digest_bytes=%llu\ndigest_seconds=%.3f\n", static_cast<unsigned long long>(size),
                SecondsSince(start));
    PrintCpuSince("digest", cpu);
    return 0;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    const std::wstring mode = argc > 1 ? argv[1] : L"";
    try {
        if ((mode == L"transfer" || mode == L"stages") && argc == 4) {
            return Transfer(argv[2], argv[3], mode == L"transfer");
        }
        if (mode == L"hash" && argc == 3) return Hash(argv[2]);
        if (mode == L"digests" && argc == 4) return Digests(argv[2], std::wcstoull(argv[3], nullptr, 10));
    } catch (const std::exception& failure) {
        std::printf("error=%s\n", failure.what());
        return 1;
    }
    std::fprintf(stderr, "usage: pipeline_bench transfer|stages MANIFEST_URL CACHE_FOLDER | hash FILE | digests FILE PARTS\n");
    return 2;
}
