// The launcher's fixed side of the download-host contract. Both values are
// build-time settings; nothing is read at run time.
#pragma once

#include <string>

#ifndef VANDRO_DOWNLOAD_HOST
#define VANDRO_DOWNLOAD_HOST "download.vandro.example"
#endif
#ifndef VANDRO_DOWNLOAD_PORT
#define VANDRO_DOWNLOAD_PORT ""
#endif

inline constexpr const wchar_t* kDownloadPathPrefix = L"/vandroglade/windows/";
inline constexpr const wchar_t* kManifestPath = L"/vandroglade/windows/latest.json";

// The only host the URL policy accepts.
extern const std::wstring downloadHostName;

// "https://" + host [+ ":" + port when a port is configured] + manifest path.
// Process-wide so that tests can point it at a loopback host of their own.
extern std::wstring manifestUrl;

std::wstring BuildManifestUrl(const std::wstring& host, const std::wstring& port);
