#include "transfer/digest_pipe.h"

#include <algorithm>
#include <cstring>
#include <stdexcept>

DigestPipe::DigestPipe(Sha256Hasher& partDigest, Sha256Hasher& packageDigest)
    : digests_{&partDigest, &packageDigest},
      slots_(kDigestRingSlots, std::vector<char>(kDigestChunkBytes)),
      lengths_(kDigestRingSlots, 0) {
    try {
        for (std::size_t digest = 0; digest < 2; ++digest) {
            if (digestThreadStarting) digestThreadStarting(digest);
            threads_[digest] = std::thread([this, digest] { Hash(digest); });
        }
    } catch (...) {
        // No thread, or no memory for its start: a started one must be
        // joined here, or destroying it would end the process.
        Drain();
        throw std::runtime_error("Hash create");
    }
}

DigestPipe::~DigestPipe() { Drain(); }

void DigestPipe::Hash(std::size_t digest) {
    for (;;) {
        std::unique_lock<std::mutex> lock(mutex_);
        changed_.wait(lock, [&] { return hashed_[digest] < pushed_ || closed_; });
        if (hashed_[digest] == pushed_) return;  // closed and all hashed
        const std::uint64_t chunk = hashed_[digest];
        const std::size_t slot = chunk % kDigestRingSlots;
        lock.unlock();
        // The slot stays ours until hashed_ moves past it: Push never reuses
        // a slot that a digest has not taken yet.
        try {
            digests_[digest]->Update(slots_[slot].data(), static_cast<std::uint32_t>(lengths_[slot]));
        } catch (...) {
            lock.lock();
            failed_[digest] = true;
            failures_.push_back({chunk * 2 + digest, std::current_exception()});
            changed_.notify_all();
            return;
        }
        lock.lock();
        ++hashed_[digest];
        changed_.notify_all();
    }
}

void DigestPipe::Drain() {
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        closed_ = true;
    }
    changed_.notify_all();
    for (std::thread& thread : threads_) {
        if (thread.joinable()) thread.join();
    }
}

void DigestPipe::Finish() {
    Drain();
    if (failures_.empty()) return;
    // The part digest before the package digest, an earlier chunk first.
    const auto first = std::min_element(failures_.begin(), failures_.end(),
                                        [](const Failure& a, const Failure& b) { return a.order < b.order; });
    std::rethrow_exception(first->error);
}

void DigestPipe::Push(const char* data, std::size_t length) {
    if (length > kDigestChunkBytes) throw std::length_error("Hash data");  // the transfer reads no more
    std::unique_lock<std::mutex> lock(mutex_);
    const auto hasRoom = [&] {
        const std::uint64_t slowest = std::min(hashed_[0], hashed_[1]);
        return pushed_ - slowest < kDigestRingSlots;
    };
    changed_.wait(lock, [&] { return failed_[0] || failed_[1] || hasRoom(); });
    if (failed_[0] || failed_[1]) {
        lock.unlock();
        Finish();  // throws, once the other digest has caught up and the earliest failure is known
        return;
    }
    const std::size_t slot = pushed_ % kDigestRingSlots;
    lock.unlock();
    std::memcpy(slots_[slot].data(), data, length);  // no digest reads this slot now
    lengths_[slot] = length;
    lock.lock();
    ++pushed_;
    changed_.notify_all();
}
