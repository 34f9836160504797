#include "transfer/sha256.h"

#include <filesystem>
#include <fstream>
#include <stdexcept>

namespace {

constexpr std::size_t kFileReadSize = 1048576;

bool Failed(NTSTATUS status) { return status < 0; }

}  // namespace

Sha256Hasher::Sha256Hasher() {
    if (Failed(BCryptOpenAlgorithmProvider(&algorithm_, BCRYPT_SHA256_ALGORITHM, /*implementation*/ nullptr, 0))) {
        algorithm_ = nullptr;
        throw std::runtime_error("Hash provider");
    }
    DWORD objectLength = 0;
    ULONG written = 0;
    BCryptGetProperty(algorithm_, BCRYPT_OBJECT_LENGTH, reinterpret_cast<PUCHAR>(&objectLength), sizeof(objectLength),
                      &written, 0);
    object_.assign(objectLength, 0);
    if (Failed(BCryptCreateHash(algorithm_, &hash_, object_.data(), static_cast<ULONG>(object_.size()),
                                /*secret*/ nullptr, 0, 0))) {
        // The destructor does not run for a constructor that throws.
        BCryptCloseAlgorithmProvider(algorithm_, 0);
        algorithm_ = nullptr;
        hash_ = nullptr;
        throw std::runtime_error("Hash create");
    }
}

Sha256Hasher::~Sha256Hasher() {
    if (hash_ != nullptr) BCryptDestroyHash(hash_);
    if (algorithm_ != nullptr) BCryptCloseAlgorithmProvider(algorithm_, 0);
}

void Sha256Hasher::Update(const void* data, std::uint32_t length) {
    if (Failed(BCryptHashData(hash_, static_cast<PUCHAR>(const_cast<void*>(data)), length, 0))) {
        throw std::runtime_error("Hash data");
    }
}

std::string Sha256Hasher::FinishHex() {
    unsigned char digest[32];
    if (Failed(BCryptFinishHash(hash_, digest, sizeof(digest), 0))) {
        throw std::runtime_error("Hash finish");
    }
    static constexpr char kAlphabet[] = "0123456789abcdef";
    std::string text;
    text.reserve(64);
    for (unsigned char byte : digest) {
        text += kAlphabet[byte >> 4];
        text += kAlphabet[byte & 0x0F];
    }
    return text;
}

std::string HashFileSha256(const std::wstring& path) {
    // Opened through a filesystem path, the stream shares read and write
    // access, so a file another program holds open still hashes.
    std::ifstream in(std::filesystem::path(path), std::ios::binary);
    if (!in.is_open()) {
        throw std::runtime_error("File read");
    }
    Sha256Hasher hasher;
    std::vector<char> buffer(kFileReadSize, 0);
    // A read error ends the loop like end of file: the short digest then
    // fails the caller's comparison.
    while (in) {
        in.read(buffer.data(), static_cast<std::streamsize>(buffer.size()));
        const std::streamsize got = in.gcount();
        if (got > 0) {
            hasher.Update(buffer.data(), static_cast<std::uint32_t>(got));
        }
    }
    return hasher.FinishHex();
}
