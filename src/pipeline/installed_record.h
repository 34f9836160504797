// "installed-package.json": which package the last successful attempt installed.
#pragma once

#include <nlohmann/json.hpp>

#include <string>

// The record's exact text (indent 2, UTF-8 unescaped, LF line ends).
// Throws the JSON library's error when the manifest has no "version".
std::string InstalledRecordText(const nlohmann::json& manifestDocument, const std::string& packageSha256);

// Replaces the record atomically; a failed write leaves the previous record
// whole and is not reported.
void WriteInstalledPackageRecord(const nlohmann::json& manifestDocument, const std::string& packageSha256);
