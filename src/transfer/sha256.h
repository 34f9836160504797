// SHA-256 on the platform's CNG provider, as 64 lowercase hex characters.
#pragma once

#include <windows.h>
#include <bcrypt.h>

#include <cstdint>
#include <string>
#include <vector>

class Sha256Hasher {
public:
    Sha256Hasher();  // throws "Hash provider" or "Hash create"
    ~Sha256Hasher();
    Sha256Hasher(const Sha256Hasher&) = delete;
    Sha256Hasher& operator=(const Sha256Hasher&) = delete;

    void Update(const void* data, std::uint32_t length);  // throws "Hash data"
    std::string FinishHex();                              // throws "Hash finish"

private:
    BCRYPT_ALG_HANDLE algorithm_ = nullptr;
    BCRYPT_HASH_HANDLE hash_ = nullptr;
    std::vector<unsigned char> object_;
};

// Digest of a whole file in 1 MiB reads. Throws "File read" when the file
// cannot be opened; a read error part-way yields the digest of what was read.
std::string HashFileSha256(const std::wstring& path);
