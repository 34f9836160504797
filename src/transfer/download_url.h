// Which URLs the launcher may fetch: https, the download host, under the
// download path.
#pragma once

#include <cstdint>
#include <string>

struct DownloadTarget {
    std::wstring host;
    std::wstring objectPath;  // path followed by "?…" exactly as written
    std::uint16_t port = 0;
    bool secure = false;
};

// Throws std::runtime_error with "Invalid URL", "Unexpected download host" or
// "Unexpected download path".
DownloadTarget CheckDownloadUrl(const std::wstring& url);
