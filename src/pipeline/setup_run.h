// Runs the verified setup program silently and confirms the installation.
#pragma once

#include "pipeline/package_download.h"

enum class SetupOutcome { GameRunning, Installed };

inline constexpr const wchar_t* kGameRunningMessage = L"Kuruluma devam etmek için önce oyunu kapat.";
inline constexpr const wchar_t* kInstallingMessage = L"VandroGLADE kuruluyor\u2026";
inline constexpr const wchar_t* kInstalledMessage = L"Her şey hazır. Parkta görüşürüz!";

// True while a process whose executable name is the game's (ASCII letters
// compared without case, whole name) runs. A failed snapshot counts as no.
bool IsGameRunning();

// Game-running stop, zone marker, silent setup run and wait, exit-code check,
// detection and record, then Ready. Throws "Installer start", "Installer exit
// <code>", "Installed game missing" or what the record step throws.
SetupOutcome RunSetupProgram(const ReleaseManifest& manifest, const CachePaths& paths);
