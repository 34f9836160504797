#include "pipeline/installed_record.h"

#include <filesystem>
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

// The record's lines end in CR LF, as a text-mode stream would write them.
std::string WithCrLf(const std::string& text) {
    std::string out;
    out.reserve(text.size() + text.size() / 8);
    for (const char c : text) {
        if (c == '\n') out += '\r';
        out += c;
    }
    return out;
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
    // Written and put on the disk itself through one handle, so that after a
    // power cut the record moved into place is never empty. Not reported:
    // the install itself succeeded.
    if (!WriteCacheFileThrough(temporary.path.wstring(), WithCrLf(text))) return;
    if (ReplaceCacheFile(temporary.path.wstring(), recordPath)) {
        // cppcheck-suppress unreadVariable ; read by TemporaryFile's destructor
        temporary.kept = true;
    }
}
