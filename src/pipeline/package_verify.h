// Proves the downloaded package whole and turns the part file into the
// setup program.
#pragma once

#include "pipeline/package_download.h"

inline constexpr const wchar_t* kVerifyingMessage = L"İndirme kontrol ediliyor\u2026";

void VerifyAndAssemble(const ReleaseManifest& manifest, const CachePaths& paths, Sha256Hasher& packageDigest);
