// Runs the verified setup program silently and confirms the installation.
#pragma once

#include "pipeline/package_download.h"

enum class SetupOutcome { GameRunning, Installed };

bool IsGameRunning();
SetupOutcome RunSetupProgram(const ReleaseManifest& manifest, const CachePaths& paths);
