// Proves the downloaded package whole and turns the part file into the
// setup program.
#pragma once

#include "pipeline/package_download.h"

void VerifyAndAssemble(const ReleaseManifest& manifest, const CachePaths& paths, Sha256Hasher& packageDigest);
