#include "transfer/http_transfer.h"

#include <windows.h>
#include <winhttp.h>

#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "shell/launcher_state.h"
#include "transfer/digest_pipe.h"
#include "transfer/download_url.h"

namespace {

constexpr const wchar_t* kUserAgent = L"VandroGLADE/1.0";
// One read is one chunk of the digests' ring.
constexpr DWORD kReadBufferSize = static_cast<DWORD>(kDigestChunkBytes);
constexpr int kResolveTimeoutMs = 15000;
constexpr int kConnectTimeoutMs = 15000;
constexpr int kSendTimeoutMs = 30000;
constexpr int kReceiveTimeoutMs = 30000;
constexpr DWORD kClosingWaitMs = 1000;

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

// What WinHTTP reports about one request, and the buffer it reads into.
// Shared by the transfer and WinHTTP's notifications: the closing
// notification releases WinHTTP's share, so the record outlives any step
// still pending when the transfer gives the request up.
struct RequestState {
    KernelEvent completed{/*manualReset*/ false};
    KernelEvent closed{/*manualReset*/ true};
    bool succeeded = false;
    DWORD bytesRead = 0;
    std::vector<char> buffer = std::vector<char>(kReadBufferSize, 0);
};
using RequestContext = std::shared_ptr<RequestState>;  // WinHTTP's share, on the heap

void CALLBACK OnRequestStatus(HINTERNET, DWORD_PTR context, DWORD status, LPVOID, DWORD length) {
    // NOLINTNEXTLINE(performance-no-int-to-ptr): WinHTTP hands the context back as an integer
    auto* share = reinterpret_cast<RequestContext*>(context);
    if (share == nullptr) return;
    RequestState& state = **share;
    switch (status) {
        case WINHTTP_CALLBACK_STATUS_SENDREQUEST_COMPLETE:
        case WINHTTP_CALLBACK_STATUS_HEADERS_AVAILABLE:
        case WINHTTP_CALLBACK_STATUS_READ_COMPLETE:
            state.bytesRead = length;  // meaningful for reads only
            state.succeeded = true;
            SetEvent(state.completed.handle);
            break;
        case WINHTTP_CALLBACK_STATUS_REQUEST_ERROR:
            state.succeeded = false;
            SetEvent(state.completed.handle);
            break;
        case WINHTTP_CALLBACK_STATUS_HANDLE_CLOSING:  // the last notification
            SetEvent(state.closed.handle);
            delete share;
            break;
        default:
            break;
    }
}

// The request handle of an asynchronous session. Blocking calls cannot be
// interrupted (another thread may not close a handle that a synchronous
// call uses), so each step is started asynchronously and waited for in
// Await, where a cancel can end the wait; closing the handle then aborts the
// step. Windows sends the closing notification at once; Wine 8 only when the
// pending step ends (up to the receive time-out), so the wait for it is
// bounded and the shared record takes care of the rest.
struct AsyncRequest {
    HINTERNET handle;
    RequestContext state = std::make_shared<RequestState>();
    RequestContext* context = nullptr;  // WinHTTP's once registered

    explicit AsyncRequest(HINTERNET h) : handle(h) {
        if (handle == nullptr) return;
        auto* share = new RequestContext(state);
        DWORD_PTR contextValue = reinterpret_cast<DWORD_PTR>(share);
        if (WinHttpSetOption(handle, WINHTTP_OPTION_CONTEXT_VALUE, &contextValue, sizeof(contextValue)) &&
            WinHttpSetStatusCallback(handle, OnRequestStatus,
                                     WINHTTP_CALLBACK_FLAG_ALL_COMPLETIONS | WINHTTP_CALLBACK_FLAG_HANDLES,
                                     /*reserved*/ 0) != WINHTTP_INVALID_STATUS_CALLBACK) {
            context = share;
        } else {
            delete share;  // no notification will ever release it
        }
    }
    ~AsyncRequest() {
        if (handle == nullptr) return;
        WinHttpCloseHandle(handle);
        if (context != nullptr) WaitForSingleObject(state->closed.handle, kClosingWaitMs);
    }
    AsyncRequest(const AsyncRequest&) = delete;
    AsyncRequest& operator=(const AsyncRequest&) = delete;
};

// True when the step started on `request` has completed well. The window's
// destruction ends the wait at once with "Cancelled"; leaving closes the
// request, which aborts the step.
bool Await(const AsyncRequest& request) {
    const HANDLE wakers[] = {request.state->completed.handle, launcherState.cancelEvent.handle};
    // Without a cancel event (none could be made) a close is seen at the
    // next chunk, or once the step ends at the receive time-out.
    const DWORD count = wakers[1] != nullptr ? 2 : 1;
    if (WaitForMultipleObjects(count, wakers, /*waitAll*/ FALSE, INFINITE) != WAIT_OBJECT_0) {
        ThrowIfCancelled();
        WaitForSingleObject(request.state->completed.handle, INFINITE);  // woken without a cancel: the flag decides
    }
    return request.state->succeeded;
}

// One GET of `url`: policy check, request, status 200, then every body chunk
// handed to `handleChunk` after the size check. Handles are declared in
// opening order, so they close request, connection, session.
template <class ChunkHandler>
void Transfer(const std::wstring& url, std::uint64_t maxBytes, ChunkHandler&& handleChunk) {
    const DownloadTarget target = CheckDownloadUrl(url);

    HttpHandle session(WinHttpOpen(kUserAgent, WINHTTP_ACCESS_TYPE_AUTOMATIC_PROXY, WINHTTP_NO_PROXY_NAME,
                                   WINHTTP_NO_PROXY_BYPASS, WINHTTP_FLAG_ASYNC));
    if (session.handle == nullptr) Fail("Network connection failed");
    WinHttpSetTimeouts(session.handle, kResolveTimeoutMs, kConnectTimeoutMs, kSendTimeoutMs, kReceiveTimeoutMs);

    HttpHandle connection(WinHttpConnect(session.handle, target.host.c_str(), target.port, /*reserved*/ 0));
    if (connection.handle == nullptr) Fail("Network connection failed");

    const AsyncRequest request(WinHttpOpenRequest(connection.handle, L"GET", target.objectPath.c_str(),
                                                  /*version*/ nullptr, WINHTTP_NO_REFERER, WINHTTP_DEFAULT_ACCEPT_TYPES,
                                                  target.secure ? WINHTTP_FLAG_SECURE : 0));
    // Without its completion event no step of the request could be waited for.
    if (request.handle == nullptr || request.context == nullptr || request.state->completed.handle == nullptr) {
        Fail("Network connection failed");
    }
    DWORD redirectPolicy = WINHTTP_OPTION_REDIRECT_POLICY_NEVER;
    WinHttpSetOption(request.handle, WINHTTP_OPTION_REDIRECT_POLICY, &redirectPolicy, sizeof(redirectPolicy));

    if (!WinHttpSendRequest(request.handle, WINHTTP_NO_ADDITIONAL_HEADERS, 0, WINHTTP_NO_REQUEST_DATA, 0,
                            /*total length*/ 0, reinterpret_cast<DWORD_PTR>(request.context)) ||
        !Await(request) || !WinHttpReceiveResponse(request.handle, /*reserved*/ nullptr) || !Await(request)) {
        Fail("Network response failed");
    }

    const DWORD status = ReadStatusCode(request.handle);
    if (status != 200) Fail("HTTP " + std::to_string(status));

    // The chunk loop: read, size check, hand over, cancel check.
    ThrowIfCancelled();
    std::uint64_t total = 0;
    char* const buffer = request.state->buffer.data();
    for (;;) {
        if (!WinHttpReadData(request.handle, buffer, kReadBufferSize, /*read: reported later*/ nullptr) ||
            !Await(request)) {
            Fail("Read failed");
        }
        const DWORD received = request.state->bytesRead;
        if (received == 0) return;
        total += received;
        if (total > maxBytes) Fail("Unexpected download size");
        handleChunk(buffer, received);
        ThrowIfCancelled();
    }
}

}  // namespace

void DownloadToMemory(const std::wstring& url, std::string& body, std::uint64_t maxBytes) {
    Transfer(url, maxBytes, [&](const char* data, DWORD length) { body.append(data, length); });
}

void DownloadToFile(const std::wstring& url, PartSink& sink, std::uint64_t maxBytes) {
    // The digests run beside the next read; bytesDone counts written bytes
    // and may lead them by the ring.
    DigestPipe digests(sink.partDigest, sink.packageDigest);
    try {
        Transfer(url, maxBytes, [&](const char* data, DWORD length) {
            sink.stream.write(data, length);
            // A chunk that did not reach the stream must not reach the digests.
            if (!sink.stream) Fail("Disk write");
            digests.Push(data, length);
            sink.partBytes += length;
            launcherState.bytesDone.fetch_add(length);
        });
    } catch (...) {
        // A digest failure of an earlier chunk comes first, as it would
        // have in a chunk-by-chunk loop; either way the threads are joined.
        digests.Finish();
        throw;
    }
    digests.Finish();
}
