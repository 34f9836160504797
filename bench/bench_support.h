// What several benchmarks share: a clock, CPU readings, and the platform's
// bare read loops (synchronous, and asynchronous as the transfer runs), the
// references our own transfer is compared with.
#pragma once

#include <windows.h>
#include <winhttp.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "shell/launcher_state.h"
#include "transfer/download_url.h"

namespace bench {

using Clock = std::chrono::steady_clock;

inline double SecondsSince(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

// CPU seconds (user + kernel) of this process, all its threads.
inline double OwnCpuSeconds() {
    FILETIME created{}, exited{}, kernel{}, user{};
    if (!GetProcessTimes(GetCurrentProcess(), &created, &exited, &kernel, &user)) {
        throw std::runtime_error("GetProcessTimes failed");
    }
    const auto seconds = [](const FILETIME& t) {
        return static_cast<double>(static_cast<std::uint64_t>(t.dwHighDateTime) << 32 | t.dwLowDateTime) / 1e7;
    };
    return seconds(kernel) + seconds(user);
}

// CPU seconds of the Linux processes listed (pids, space-separated) in an
// environment variable, read from /proc through Wine's Z: drive; the clock
// tick is VANDRO_BENCH_CLOCK_TICKS. Unset: 0. A listed process that cannot be
// read ends the benchmark, as its figure would silently be missing.
inline double LinuxCpuSeconds(const char* variable) {
    const char* pids = std::getenv(variable);
    const char* ticks = std::getenv("VANDRO_BENCH_CLOCK_TICKS");
    if (pids == nullptr || ticks == nullptr) return 0;
    double total = 0;
    std::istringstream list(pids);
    std::string pid;
    while (list >> pid) {
        const std::string path = "Z:\\proc\\" + pid + "\\stat";
        std::ifstream file(path, std::ios::binary);
        std::string stat((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
        const std::size_t nameEnd = stat.rfind(')');
        if (nameEnd == std::string::npos) throw std::runtime_error("cannot read " + path);
        // After the name: state (field 3) ... utime (14), stime (15).
        std::istringstream fields(stat.substr(nameEnd + 1));
        std::string field;
        for (int i = 3; i < 14; ++i) fields >> field;
        unsigned long long user = 0, kernel = 0;
        if (!(fields >> user >> kernel)) throw std::runtime_error("cannot parse " + path);
        total += static_cast<double>(user + kernel);
    }
    return total / std::strtod(ticks, nullptr);
}

// CPU read at one moment: this process, the prefix's Wine server (which
// works for our waits and events) and the download host.
struct CpuMark {
    double own = OwnCpuSeconds();
    double server = LinuxCpuSeconds("VANDRO_BENCH_SERVER_PIDS");
    double host = LinuxCpuSeconds("VANDRO_BENCH_HOST_PIDS");
};

// Prints NAME_cpu (this process), NAME_server_cpu and NAME_host_cpu since `from`.
inline void PrintCpuSince(const char* name, const CpuMark& from) {
    const CpuMark now;
    std::printf("%s_cpu=%.3f\n%s_server_cpu=%.3f\n%s_host_cpu=%.3f\n", name, now.own - from.own, name,
                now.server - from.server, name, now.host - from.host);
}

struct InternetHandle {
    HINTERNET h;
    ~InternetHandle() {
        if (h) WinHttpCloseHandle(h);
    }
};

// The same request shape and 256 KiB reads as the transfer, bytes dropped on
// arrival: no file, no digests.
inline std::uint64_t BareRead(const std::wstring& url) {
    const DownloadTarget target = CheckDownloadUrl(url);
    InternetHandle session{WinHttpOpen(L"VandroGLADE/1.0", WINHTTP_ACCESS_TYPE_AUTOMATIC_PROXY, WINHTTP_NO_PROXY_NAME,
                                       WINHTTP_NO_PROXY_BYPASS, /*flags*/ 0)};
    InternetHandle connection{WinHttpConnect(session.h, target.host.c_str(), target.port, /*reserved*/ 0)};
    InternetHandle request{WinHttpOpenRequest(connection.h, L"GET", target.objectPath.c_str(), /*version*/ nullptr,
                                              WINHTTP_NO_REFERER, WINHTTP_DEFAULT_ACCEPT_TYPES, WINHTTP_FLAG_SECURE)};
    if (!WinHttpSendRequest(request.h, WINHTTP_NO_ADDITIONAL_HEADERS, 0, WINHTTP_NO_REQUEST_DATA, 0, 0, 0) ||
        !WinHttpReceiveResponse(request.h, /*reserved*/ nullptr)) {
        return 0;
    }
    std::vector<char> buffer(262144);
    std::uint64_t total = 0;
    DWORD got = 0;
    while (WinHttpReadData(request.h, buffer.data(), static_cast<DWORD>(buffer.size()), &got) && got > 0) total += got;
    return total;
}

// What WinHTTP reports about the asynchronous loop's request.
struct AsyncSteps {
    KernelEvent completed{/*manualReset*/ false};
    KernelEvent closed{/*manualReset*/ true};
    KernelEvent neverCancelled{/*manualReset*/ true};
    bool succeeded = false;
    DWORD bytesRead = 0;
};

inline void CALLBACK OnAsyncStep(HINTERNET, DWORD_PTR context, DWORD status, LPVOID, DWORD length) {
    // NOLINTNEXTLINE(performance-no-int-to-ptr): WinHTTP hands the context back as an integer
    auto* steps = reinterpret_cast<AsyncSteps*>(context);
    if (steps == nullptr) return;
    switch (status) {
        case WINHTTP_CALLBACK_STATUS_SENDREQUEST_COMPLETE:
        case WINHTTP_CALLBACK_STATUS_HEADERS_AVAILABLE:
        case WINHTTP_CALLBACK_STATUS_READ_COMPLETE:
            steps->bytesRead = length;
            steps->succeeded = true;
            SetEvent(steps->completed.handle);
            break;
        case WINHTTP_CALLBACK_STATUS_REQUEST_ERROR:
            steps->succeeded = false;
            SetEvent(steps->completed.handle);
            break;
        case WINHTTP_CALLBACK_STATUS_HANDLE_CLOSING:
            SetEvent(steps->closed.handle);
            break;
        default:
            break;
    }
}

// The request of the asynchronous loop; closing it waits for WinHTTP's last
// notification, which still writes to the steps' record. No step is pending
// by then, so it comes at once.
struct AsyncRequestHandle {
    HINTERNET h;
    AsyncSteps& steps;
    bool registered = false;
    ~AsyncRequestHandle() {
        if (h == nullptr) return;
        WinHttpCloseHandle(h);
        if (registered) WaitForSingleObject(steps.closed.handle, INFINITE);
    }
};

// BareRead with WinHTTP in its asynchronous mode, as the transfer runs it
// for a prompt cancel: each step started, then waited for on the callback's
// event beside a cancel event. Bytes dropped on arrival, as there.
inline std::uint64_t BareReadAsync(const std::wstring& url) {
    const DownloadTarget target = CheckDownloadUrl(url);
    AsyncSteps steps;
    InternetHandle session{WinHttpOpen(L"VandroGLADE/1.0", WINHTTP_ACCESS_TYPE_AUTOMATIC_PROXY, WINHTTP_NO_PROXY_NAME,
                                       WINHTTP_NO_PROXY_BYPASS, WINHTTP_FLAG_ASYNC)};
    InternetHandle connection{WinHttpConnect(session.h, target.host.c_str(), target.port, /*reserved*/ 0)};
    AsyncRequestHandle request{WinHttpOpenRequest(connection.h, L"GET", target.objectPath.c_str(), /*version*/ nullptr,
                                                  WINHTTP_NO_REFERER, WINHTTP_DEFAULT_ACCEPT_TYPES, WINHTTP_FLAG_SECURE),
                               steps};
    if (request.h == nullptr) return 0;
    auto contextValue = reinterpret_cast<DWORD_PTR>(&steps);
    request.registered =
        WinHttpSetOption(request.h, WINHTTP_OPTION_CONTEXT_VALUE, &contextValue, sizeof(contextValue)) &&
        WinHttpSetStatusCallback(request.h, OnAsyncStep,
                                 WINHTTP_CALLBACK_FLAG_ALL_COMPLETIONS | WINHTTP_CALLBACK_FLAG_HANDLES,
                                 /*reserved*/ 0) != WINHTTP_INVALID_STATUS_CALLBACK;
    if (!request.registered) return 0;
    const HANDLE wakers[] = {steps.completed.handle, steps.neverCancelled.handle};
    const auto step = [&](BOOL started) {
        return started && WaitForMultipleObjects(2, wakers, /*waitAll*/ FALSE, INFINITE) == WAIT_OBJECT_0 &&
               steps.succeeded;
    };
    if (!step(WinHttpSendRequest(request.h, WINHTTP_NO_ADDITIONAL_HEADERS, 0, WINHTTP_NO_REQUEST_DATA, 0, 0,
                                 contextValue)) ||
        !step(WinHttpReceiveResponse(request.h, /*reserved*/ nullptr))) {
        return 0;
    }
    std::vector<char> buffer(262144);
    std::uint64_t total = 0;
    while (step(WinHttpReadData(request.h, buffer.data(), static_cast<DWORD>(buffer.size()), /*read*/ nullptr)) &&
           steps.bytesRead > 0) {
        total += steps.bytesRead;
    }
    return total;
}

}  // namespace bench
