// Marks a downloaded file as coming from the Internet zone.
#pragma once

#include <string>

// Writes path + ":Zone.Identifier"; never throws for file-system reasons.
void WriteZoneMarker(const std::wstring& path);
