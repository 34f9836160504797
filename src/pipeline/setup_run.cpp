#include "pipeline/setup_run.h"
#include <stdexcept>
bool IsGameRunning() { return false; }
SetupOutcome RunSetupProgram(const ReleaseManifest&, const CachePaths&) { throw std::runtime_error("Not built yet"); }
