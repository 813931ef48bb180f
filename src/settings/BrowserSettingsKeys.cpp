#include "settings/BrowserSettingsKeys.h"

namespace tolva::BrowserSettingsKeys {

const std::vector<BrowserSettingsKey>& all() {
  static const std::vector<BrowserSettingsKey> keys = {
      // ---- In the settings description
      {"homepage", "VeskWebView", true, true, "the page a new tab and the home action open"},
      {"opt_search_engine", "VeskMiscObject", true, false, "search URL format, or \"user-defined\""},
      {"opt_user_search_url", "VeskWebView", true, true, "the user's own search URL format"},
      {"opt_user_agent_v2", "MyUserAgentSettingsMonitor", true, true, "User-Agent string; defaults per device"},
      {"default_email", "VeskMiscObject", true, false, "address for the mail sharers"},
      {"opt_save_sessions", "VeskMiscObject", true, false, "restore the open tabs at start"},
      {"opt_save_history", "VeskBookmarkDatabase", true, true, "record visited pages"},
      {"opt_save_password", "VeskPagePasswordDatabase", true, true, "offer to save form passwords"},
      {"opt_adblock", "VeskMiscObject", true, false, "ad blocking on"},
      {"opt_use_selection_search", "VeskMiscObject", true, false, "search the selected text"},
      {"opt_urlbar_scroll", "VeskMiscObject", true, false, "the address bar scrolls with the page"},
      {"opt_pull_down_refresh", "VeskMiscObject", true, false, "pull down to reload"},
      {"opt_use_accurate_page_load_completion", "VeskMiscObject", true, false, "loaded when the last part loaded"},
      {"opt_http_auth", "VeskMiscObject", true, false, "probe pages for HTTP authentication"},
      {"opt_twof_tap", "VeskMiscObject", true, false, "action code"},
      {"opt_twof_swipe_left", "VeskMiscObject", true, false, "action code"},
      {"opt_twof_swipe_right", "VeskMiscObject", true, false, "action code"},
      {"opt_twof_swipe_up", "VeskMiscObject", true, false, "action code"},
      {"opt_twof_swipe_down", "VeskMiscObject", true, false, "action code"},
      {"opt_threef_tap", "VeskMiscObject", true, false, "action code"},
      {"opt_threef_swipe_left", "VeskMiscObject", true, false, "action code"},
      {"opt_threef_swipe_right", "VeskMiscObject", true, false, "action code"},
      {"opt_threef_swipe_up", "VeskMiscObject", true, false, "action code"},
      {"opt_threef_swipe_down", "VeskMiscObject", true, false, "action code"},
      {"opt_fourf_tap", "VeskMiscObject", true, false, "action code"},
      {"opt_fourf_swipe_left", "VeskMiscObject", true, false, "action code"},
      {"opt_fourf_swipe_right", "VeskMiscObject", true, false, "action code"},
      {"opt_fourf_swipe_up", "VeskMiscObject", true, false, "action code"},
      {"opt_fourf_swipe_down", "VeskMiscObject", true, false, "action code"},
      {"opt_double_tab_scroll2", "VeskMiscObject", true, false, "action code of a trackpad double tap"},
      {"opt_double_tap_on_tab", "VeskMiscObject", true, false, "action code of a double tap on a tab"},
      {"opt_expand_tab", "VeskWebViewController", true, true, "large tab strip with screenshots"},
      {"opt_show_trackpad", "VeskWebViewController", true, true, "trackpads shown"},
      {"opt_show_jogdials", "VeskWebViewController", true, true, "bookmark dials shown"},
      {"opt_show_brightness_jogdial", "VeskWebViewController", true, true, "brightness dial shown"},
      {"passcode_value", "VeskPasscodeStore", true, true,
       "the key of the passcode screen's row; the code is kept in the keychain (an old value here is moved there)"},

      // ---- Read by the browser, written elsewhere
      {"opt_lock_rotation", "MyUIViewController", false, false,
       "the rotation lock, switched from the page's menus together with the orientation it holds"},
      {"opt_lock_rotation_info", "MyUIViewController", false, false, "the orientation the rotation lock holds"},
      {"opt_trackpad_positionRatio1x", "VeskWebViewController", false, true, "where the user dragged the first trackpad"},
      {"opt_trackpad_positionRatio1y", "VeskWebViewController", false, true, "where the user dragged the first trackpad"},
      {"opt_trackpad_positionRatio2x", "VeskWebViewController", false, true, "where the user dragged the second trackpad"},
      {"opt_trackpad_positionRatio2y", "VeskWebViewController", false, true, "where the user dragged the second trackpad"},
      {"passcode_ask_only_private_exists", "VeskWebAppDelegate", false, true, "switched on the passcode screen"},
  };
  return keys;
}

const BrowserSettingsKey* find(std::string_view key) {
  for (const auto& k : all()) {
    if (key == k.key) return &k;
  }
  return nullptr;
}

}  // namespace tolva::BrowserSettingsKeys
