// The single failure handler's body: one log line, then the Failed message.
#pragma once

#include <exception>

void AppendLauncherLog(const std::exception& failure);
