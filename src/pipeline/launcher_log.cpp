#include "pipeline/launcher_log.h"

#include <filesystem>
#include <fstream>

#include "shell/launcher_state.h"
#include "shell/paths.h"

void AppendLauncherLog(const std::exception& failure) {
    // Text mode: the line feed reaches the file as CR LF. A file that cannot
    // be opened leaves the stream failed and the writes do nothing.
    std::ofstream log(std::filesystem::path(JoinPath(packageCacheFolder, kLauncherLogName)), std::ios::out | std::ios::app);
    log << failure.what() << '\n';
    const bool cancelled = launcherState.cancelRequested.load();
    PublishStatus(Failed, cancelled ? kAttemptCancelledMessage : kAttemptFailedMessage);
}  // the file closes after the publish
