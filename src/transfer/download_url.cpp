#include "transfer/download_url.h"

#include <windows.h>
#include <winhttp.h>

#include <algorithm>
#include <stdexcept>
#include <string_view>

#include "transfer/download_host.h"

namespace {

constexpr DWORD kWholeComponent = 0xFFFFFFFF;  // "report where it is", not "copy it"

bool StartsWith(std::wstring_view text, std::wstring_view prefix) {
    return text.size() >= prefix.size() && text.compare(0, prefix.size(), prefix) == 0;
}

wchar_t AsciiLower(wchar_t c) { return (c >= L'A' && c <= L'Z') ? static_cast<wchar_t>(c + (L'a' - L'A')) : c; }

bool ContainsNoCase(std::wstring_view text, std::wstring_view needle) {
    for (std::size_t i = 0; i + needle.size() <= text.size(); ++i) {
        std::size_t k = 0;
        while (k < needle.size() && AsciiLower(text[i + k]) == needle[k]) ++k;
        if (k == needle.size()) return true;
    }
    return false;
}

// A segment that the server would read as "." or "..", with "%2e" read as "."
// and any ";" parameter cut off (servers ignore it when they resolve dots).
bool IsDotSegment(std::wstring_view segment) {
    segment = segment.substr(0, segment.find(L';'));
    std::size_t dots = 0;
    for (std::size_t i = 0; i < segment.size();) {
        if (segment[i] == L'.') {
            i += 1;
        } else if (segment.size() - i >= 3 && segment[i] == L'%' && segment[i + 1] == L'2' &&
                   AsciiLower(segment[i + 2]) == L'e') {
            i += 3;
        } else {
            return false;
        }
        ++dots;
    }
    return dots == 1 || dots == 2;
}

// Servers normalise dot segments and decode encoded separators, so a path
// that passes the prefix test could still reach files outside the download
// folder. A fragment is never sent as one: WinHTTP sends "#" as "%23" and
// the rest as path, dot segments included. "%25" decodes to a "%" that a
// second decoding turns into any of the above. Only the path is judged; the
// query goes out as written.
bool EscapesDownloadFolder(std::wstring_view url, std::wstring_view objectPath) {
    if (url.find(L'#') != std::wstring_view::npos) return true;
    const std::wstring_view path = objectPath.substr(0, objectPath.find(L'?'));
    if (path.find(L'\\') != std::wstring_view::npos || ContainsNoCase(path, L"%2f") || ContainsNoCase(path, L"%5c") ||
        path.find(L"%25") != std::wstring_view::npos) {
        return true;
    }
    std::size_t start = 0;
    while (start <= path.size()) {
        const std::size_t end = std::min(path.find(L'/', start), path.size());
        if (IsDotSegment(path.substr(start, end - start))) return true;
        start = end + 1;
    }
    return false;
}

}  // namespace

DownloadTarget CheckDownloadUrl(const std::wstring& url) {
    URL_COMPONENTS parts{};
    parts.dwStructSize = sizeof(parts);
    parts.dwHostNameLength = kWholeComponent;
    parts.dwUrlPathLength = kWholeComponent;
    parts.dwExtraInfoLength = kWholeComponent;
    if (!WinHttpCrackUrl(url.c_str(), /*length: NUL-terminated*/ 0, /*flags: no unescaping*/ 0, &parts)) {
        throw std::runtime_error("Invalid URL");
    }

    DownloadTarget target;
    if (parts.lpszHostName != nullptr) target.host.assign(parts.lpszHostName, parts.dwHostNameLength);
    if (parts.lpszUrlPath != nullptr) target.objectPath.assign(parts.lpszUrlPath, parts.dwUrlPathLength);
    if (parts.lpszExtraInfo != nullptr && parts.dwExtraInfoLength > 0) {
        target.objectPath.append(parts.lpszExtraInfo, parts.dwExtraInfoLength);
    }
    target.port = parts.nPort;
    target.secure = parts.nScheme == INTERNET_SCHEME_HTTPS;

    if (!target.secure || target.host != downloadHostName) {
        throw std::runtime_error("Unexpected download host");
    }
    if (!StartsWith(target.objectPath, kDownloadPathPrefix) || EscapesDownloadFolder(url, target.objectPath)) {
        throw std::runtime_error("Unexpected download path");
    }
    return target;
}
