// The two digests of a part, computed beside the transfer instead of
// between its reads: each written chunk is copied into a small ring and
// hashed there by one thread per digest, while the next chunk is read.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <exception>
#include <mutex>
#include <thread>
#include <vector>

#include "transfer/sha256.h"

// Chunks the ring holds: the most the digests can lag behind the file.
inline constexpr std::size_t kDigestRingSlots = 8;
inline constexpr std::size_t kDigestChunkBytes = 262144;

// Called before each digest thread starts (0, then 1); null in the product.
// Lets a test fail a start as the system would, by throwing.
inline void (*digestThreadStarting)(std::size_t digest) = nullptr;

// One part's hashing. The hashers belong to the caller and are touched by
// nothing else until Finish returns or the pipe ends. Every exit, a failure
// or a cancel included, hashes what was already handed over (at most the
// ring) and joins both threads, so a digest failure of an earlier chunk is
// the one reported, as a chunk-by-chunk loop would.
class DigestPipe {
public:
    // Starts both threads; throws "Hash create" when either start fails
    // (no thread, no memory), after joining one already started.
    DigestPipe(Sha256Hasher& partDigest, Sha256Hasher& packageDigest);
    ~DigestPipe();
    DigestPipe(const DigestPipe&) = delete;
    DigestPipe& operator=(const DigestPipe&) = delete;

    // Copies a chunk (at most kDigestChunkBytes) into the ring, waiting for a
    // free slot. Throws the first digest failure ("Hash data") once one
    // happened; the threads are joined by then.
    void Push(const char* data, std::size_t length);
    // Waits until both digests hold every chunk and joins the threads;
    // throws the first digest failure.
    void Finish();

private:
    struct Failure {
        std::uint64_t order;  // where a chunk-by-chunk loop meets it: chunk, then part before package
        std::exception_ptr error;
    };
    void Hash(std::size_t digest);
    void Drain();

    Sha256Hasher* digests_[2];
    std::vector<std::vector<char>> slots_;
    std::vector<std::size_t> lengths_;
    std::mutex mutex_;
    std::condition_variable changed_;
    std::uint64_t pushed_ = 0;
    std::uint64_t hashed_[2] = {0, 0};
    bool failed_[2] = {false, false};
    bool closed_ = false;
    std::vector<Failure> failures_;
    std::thread threads_[2];  // last: started once everything above exists, joined first
};
