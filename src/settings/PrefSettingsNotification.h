#pragma once
// The notification the settings screens post after every change; its user
// info holds the changed key and its new value.

namespace tolva {

inline constexpr const char* kAppSettingChanged = "kAppSettingChanged";

}  // namespace tolva
