#pragma once
// The user-agent override: once installed, setting a "User-Agent" header
// (exactly that name) on any request puts the chosen user-agent string
// (MyUserAgentSettingsMonitor) in place of the given value; every other
// header passes unchanged.

#include <string_view>

#include "kit/net/URLRequest.h"

namespace tolva::MyMutableURLRequest {

inline constexpr const char* kNewSetValueSelector = "newSetValue:forHTTPHeaderField:";

// Exchanges the request's header setter with newSetValue and creates the
// monitor. The exchange happens once per process: later calls (a second
// launch in one process) change nothing.
void setupUserAgentOverwrite();
bool isUserAgentOverwriteInstalled();
// The replacement setter; reaches the former one under its own selector.
bool newSetValue(kit::URLRequest& request, std::string_view value, std::string_view field);

}  // namespace tolva::MyMutableURLRequest
