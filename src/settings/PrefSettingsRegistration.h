#pragma once
// Makes the settings kit's interface files ("PrefAppSettingsView",
// "PrefSpecifierValuesView", the three cell files and the web page screen's
// own) and its screens reachable by name. Safe to call any number of times
// from the main thread; the screens call it themselves.
//
// Classes registered with kit::ClassRegistry::shared():
//   "PrefAppSettingsViewController"     factory (a settings page, no Done button)
//   "PrefAppSettingsWebViewController"  class function "initWithFile" (file, key) → the screen

namespace tolva {

void registerPrefSettingsKit();

}  // namespace tolva
