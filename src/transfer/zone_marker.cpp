#include "transfer/zone_marker.h"

#include <filesystem>
#include <fstream>

#include "transfer/download_host.h"
#include "transfer/text_encoding.h"

namespace {

constexpr char kZoneHeader[] = "[ZoneTransfer]\r\nZoneId=3\r\nHostUrl=";

}  // namespace

void WriteZoneMarker(const std::wstring& path) {
    // A volume without named streams makes the open fail; the writes then do
    // nothing and the file stays unmarked, which is harmless.
    std::ofstream marker(std::filesystem::path(path + L":Zone.Identifier"), std::ios::binary | std::ios::trunc);
    const std::string hostUrl = WideToUtf8(manifestUrl);
    marker.write(kZoneHeader, sizeof(kZoneHeader) - 1);
    marker.write(hostUrl.data(), static_cast<std::streamsize>(hostUrl.size()));
    marker.write("\r\n", 2);
}
