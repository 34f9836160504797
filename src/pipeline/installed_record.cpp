#include "pipeline/installed_record.h"

#include <windows.h>

#include <filesystem>
#include <fstream>
#include <system_error>

#include "pipeline/cache_files.h"
#include "shell/paths.h"

namespace {

// Removes the temporary file unless it was moved into place.
struct TemporaryFile {
    std::filesystem::path path;
    bool kept = false;
    ~TemporaryFile() {
        if (kept) return;
        std::error_code ignored;
        std::filesystem::remove(path, ignored);
    }
};

// Text mode turns every line feed into CR LF. True only when every byte
// reached the file and it closed cleanly.
bool WriteTextFile(const std::filesystem::path& path, const std::string& text) {
    std::ofstream out(path, std::ios::out | std::ios::trunc);
    out << text;
    out.close();
    return !out.fail();
}

}  // namespace

std::string InstalledRecordText(const nlohmann::json& manifestDocument, const std::string& packageSha256) {
    nlohmann::json record = nlohmann::json::object();
    record["sha256"] = packageSha256;
    record["version"] = manifestDocument.at("version");
    return record.dump(2, ' ', /*ensure_ascii*/ false, nlohmann::json::error_handler_t::strict);
}

void WriteInstalledPackageRecord(const nlohmann::json& manifestDocument, const std::string& packageSha256) {
    // Built before anything touches the disk: a manifest without "version"
    // throws here and the previous record stays as it was.
    const std::string text = InstalledRecordText(manifestDocument, packageSha256);

    const std::wstring recordPath = JoinPath(packageCacheFolder, kInstalledRecordName);
    TemporaryFile temporary{recordPath + L".tmp"};
    if (!WriteTextFile(temporary.path, text)) return;  // not reported: the install itself succeeded
    if (ReplaceCacheFile(temporary.path.wstring(), recordPath)) {
        // cppcheck-suppress unreadVariable ; read by TemporaryFile's destructor
        temporary.kept = true;
    }
}
