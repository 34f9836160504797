// Blocking HTTPS GET into memory or onto an open file stream.
#pragma once

#include <cstdint>
#include <fstream>
#include <string>

#include "transfer/sha256.h"

// Where one package part's body goes. All four belong to the caller.
struct PartSink {
    std::ofstream& stream;
    Sha256Hasher& partDigest;
    Sha256Hasher& packageDigest;
    std::uint64_t& partBytes;
};

inline constexpr std::uint64_t kManifestMaxBytes = 131072;

// Appends the body to `body`. Throws a runtime error with a failure label.
void DownloadToMemory(const std::wstring& url, std::string& body, std::uint64_t maxBytes);

// Streams the body onto sink.stream, feeding both digests (on threads of
// their own, finished and joined before it returns or throws), sink.partBytes
// and launcherState.bytesDone. Throws a runtime error with a failure label.
void DownloadToFile(const std::wstring& url, PartSink& sink, std::uint64_t maxBytes);
