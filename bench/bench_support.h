// What several benchmarks share: a clock and the platform's bare read loop,
// the reference our own transfer is compared with.
#pragma once

#include <windows.h>
#include <winhttp.h>

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

#include "transfer/download_url.h"

namespace bench {

using Clock = std::chrono::steady_clock;

inline double SecondsSince(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
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

}  // namespace bench
