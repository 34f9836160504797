#include "transfer/download_host.h"

const std::wstring downloadHostName = L"" VANDRO_DOWNLOAD_HOST;

std::wstring BuildManifestUrl(const std::wstring& host, const std::wstring& port) {
    std::wstring url = L"https://" + host;
    if (!port.empty()) {
        url += L":" + port;
    }
    return url + kManifestPath;
}

std::wstring manifestUrl = BuildManifestUrl(downloadHostName, L"" VANDRO_DOWNLOAD_PORT);
