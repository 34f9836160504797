// Names the game's setup program and the game itself must honour.
#pragma once

inline constexpr const wchar_t* kGameExeName = L"VandroGLADE.exe";
inline constexpr const wchar_t* kUninstallSubkey =
    L"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\{760E310F-703C-4B00-A3E5-462369FCA788}_is1";
inline constexpr const wchar_t* kInstallLocationValue = L"InstallLocation";
inline constexpr const wchar_t* kDisplayVersionValue = L"DisplayVersion";
// Followed by the setup log path and a closing double quote.
inline constexpr const wchar_t* kSetupSwitches = L"/VERYSILENT /SUPPRESSMSGBOXES /NORESTART /LOG=\"";
inline constexpr unsigned long kSetupExitOk = 0;
inline constexpr unsigned long kSetupExitRestartNeeded = 3010;
