#include "transfer/http_transfer.h"

#include <windows.h>
#include <winhttp.h>

#include <stdexcept>
#include <string>
#include <vector>

#include "shell/launcher_state.h"
#include "transfer/download_url.h"

namespace {

constexpr const wchar_t* kUserAgent = L"VandroGLADE/1.0";
constexpr DWORD kReadBufferSize = 262144;
constexpr int kResolveTimeoutMs = 15000;
constexpr int kConnectTimeoutMs = 15000;
constexpr int kSendTimeoutMs = 30000;
constexpr int kReceiveTimeoutMs = 30000;

[[noreturn]] void Fail(const std::string& label) { throw std::runtime_error(label); }

// One WinHTTP handle; closed when its owner's scope ends, on every exit.
struct HttpHandle {
    HINTERNET handle;
    explicit HttpHandle(HINTERNET h) : handle(h) {}
    ~HttpHandle() {
        if (handle != nullptr) WinHttpCloseHandle(handle);
    }
    HttpHandle(const HttpHandle&) = delete;
    HttpHandle& operator=(const HttpHandle&) = delete;
};

void ThrowIfCancelled() {
    if (launcherState.cancelRequested.load()) Fail("Cancelled");
}

DWORD ReadStatusCode(HINTERNET request) {
    DWORD status = 0;
    DWORD length = sizeof(status);
    // A failed query leaves 0, which then reads as "HTTP 0".
    WinHttpQueryHeaders(request, WINHTTP_QUERY_STATUS_CODE | WINHTTP_QUERY_FLAG_NUMBER, WINHTTP_HEADER_NAME_BY_INDEX,
                        &status, &length, WINHTTP_NO_HEADER_INDEX);
    return status;
}

// One GET of `url`: policy check, request, status 200, then every body chunk
// handed to `handleChunk` after the size check. Handles are declared in
// opening order, so they close request, connection, session.
template <class ChunkHandler>
void Transfer(const std::wstring& url, std::uint64_t maxBytes, ChunkHandler&& handleChunk) {
    const DownloadTarget target = CheckDownloadUrl(url);

    HttpHandle session(WinHttpOpen(kUserAgent, WINHTTP_ACCESS_TYPE_AUTOMATIC_PROXY, WINHTTP_NO_PROXY_NAME,
                                   WINHTTP_NO_PROXY_BYPASS, /*flags: synchronous*/ 0));
    if (session.handle == nullptr) Fail("Network connection failed");
    WinHttpSetTimeouts(session.handle, kResolveTimeoutMs, kConnectTimeoutMs, kSendTimeoutMs, kReceiveTimeoutMs);

    HttpHandle connection(WinHttpConnect(session.handle, target.host.c_str(), target.port, /*reserved*/ 0));
    if (connection.handle == nullptr) Fail("Network connection failed");

    HttpHandle request(WinHttpOpenRequest(connection.handle, L"GET", target.objectPath.c_str(), /*version*/ nullptr,
                                          WINHTTP_NO_REFERER, WINHTTP_DEFAULT_ACCEPT_TYPES,
                                          target.secure ? WINHTTP_FLAG_SECURE : 0));
    if (request.handle == nullptr) Fail("Network connection failed");
    DWORD redirectPolicy = WINHTTP_OPTION_REDIRECT_POLICY_NEVER;
    WinHttpSetOption(request.handle, WINHTTP_OPTION_REDIRECT_POLICY, &redirectPolicy, sizeof(redirectPolicy));

    if (!WinHttpSendRequest(request.handle, WINHTTP_NO_ADDITIONAL_HEADERS, 0, WINHTTP_NO_REQUEST_DATA, 0,
                            /*total length*/ 0, /*context*/ 0) ||
        !WinHttpReceiveResponse(request.handle, /*reserved*/ nullptr)) {
        Fail("Network response failed");
    }

    const DWORD status = ReadStatusCode(request.handle);
    if (status != 200) Fail("HTTP " + std::to_string(status));

    std::vector<char> buffer(kReadBufferSize, 0);
    ThrowIfCancelled();
    std::uint64_t total = 0;
    for (;;) {
        DWORD received = 0;
        if (!WinHttpReadData(request.handle, buffer.data(), kReadBufferSize, &received)) Fail("Read failed");
        if (received == 0) return;
        total += received;
        if (total > maxBytes) Fail("Unexpected download size");
        handleChunk(buffer.data(), received);
        ThrowIfCancelled();
    }
}

}  // namespace

void DownloadToMemory(const std::wstring& url, std::string& body, std::uint64_t maxBytes) {
    Transfer(url, maxBytes, [&](const char* data, DWORD length) { body.append(data, length); });
}

void DownloadToFile(const std::wstring& url, PartSink& sink, std::uint64_t maxBytes) {
    Transfer(url, maxBytes, [&](const char* data, DWORD length) {
        sink.stream.write(data, length);
        // A chunk that did not reach the stream must not reach the digests.
        if (!sink.stream) Fail("Disk write");
        sink.partDigest.Update(data, length);
        sink.packageDigest.Update(data, length);
        sink.partBytes += length;
        launcherState.bytesDone.fetch_add(length);
    });
}
