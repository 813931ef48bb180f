#include "settings/BrowserSettingsKeys.h"

namespace tolva::BrowserSettingsKeys {

const std::vector<BrowserSettingsKey>& all() {
  static const std::vector<BrowserSettingsKey> keys = {
      // ---- In the settings description
      {"homepage", "VeskWebView", true, "the page a new tab and the home action open"},
      {"opt_search_engine", "VeskMiscObject", true, "search URL format, or \"user-defined\""},
      {"opt_user_search_url", "VeskWebView", true, "the user's own search URL format"},
      {"opt_user_agent_v2", "MyUserAgentSettingsMonitor", true, "User-Agent string; defaults per device"},
      {"default_email", "VeskMiscObject", true, "address for the mail sharers"},
      {"opt_save_sessions", "VeskMiscObject", true, "restore the open tabs at start"},
      {"opt_save_history", "VeskBookmarkDatabase", true, "record visited pages"},
      {"opt_save_password", "VeskPagePasswordDatabase", true, "offer to save form passwords"},
      {"opt_adblock", "VeskMiscObject", true, "ad blocking on"},
      {"opt_use_selection_search", "VeskMiscObject", true, "search the selected text"},
      {"opt_urlbar_scroll", "VeskMiscObject", true, "the address bar scrolls with the page"},
      {"opt_pull_down_refresh", "VeskMiscObject", true, "pull down to reload"},
      {"opt_use_accurate_page_load_completion", "VeskMiscObject", true, "loaded when the last part loaded"},
      {"opt_http_auth", "VeskMiscObject", true, "probe pages for HTTP authentication"},
      {"opt_twof_tap", "VeskMiscObject", true, "action code"},
      {"opt_twof_swipe_left", "VeskMiscObject", true, "action code"},
      {"opt_twof_swipe_right", "VeskMiscObject", true, "action code"},
      {"opt_twof_swipe_up", "VeskMiscObject", true, "action code"},
      {"opt_twof_swipe_down", "VeskMiscObject", true, "action code"},
      {"opt_threef_tap", "VeskMiscObject", true, "action code"},
      {"opt_threef_swipe_left", "VeskMiscObject", true, "action code"},
      {"opt_threef_swipe_right", "VeskMiscObject", true, "action code"},
      {"opt_threef_swipe_up", "VeskMiscObject", true, "action code"},
      {"opt_threef_swipe_down", "VeskMiscObject", true, "action code"},
      {"opt_fourf_tap", "VeskMiscObject", true, "action code"},
      {"opt_fourf_swipe_left", "VeskMiscObject", true, "action code"},
      {"opt_fourf_swipe_right", "VeskMiscObject", true, "action code"},
      {"opt_fourf_swipe_up", "VeskMiscObject", true, "action code"},
      {"opt_fourf_swipe_down", "VeskMiscObject", true, "action code"},
      {"opt_double_tab_scroll2", "VeskMiscObject", true, "action code of a trackpad double tap"},
      {"opt_double_tap_on_tab", "VeskMiscObject", true, "action code of a double tap on a tab"},
      {"opt_expand_tab", "VeskWebViewController", true, "large tab strip with screenshots"},
      {"opt_show_trackpad", "VeskWebViewController", true, "trackpads shown"},
      {"opt_show_jogdials", "VeskWebViewController", true, "bookmark dials shown"},
      {"opt_show_brightness_jogdial", "VeskWebViewController", true, "brightness dial shown"},
      {"passcode_value", "VeskPasscodeStore", true,
       "the key of the passcode screen's row; the code is kept in the keychain (an old value here is moved there)"},

      // ---- Read by the browser, written elsewhere
      {"opt_lock_rotation", "MyUIViewController", false,
       "the rotation lock, switched from the page's menus together with the orientation it holds"},
      {"opt_lock_rotation_info", "MyUIViewController", false, "the orientation the rotation lock holds"},
      {"opt_trackpad_positionRatio1x", "VeskWebViewController", false, "where the user dragged the first trackpad"},
      {"opt_trackpad_positionRatio1y", "VeskWebViewController", false, "where the user dragged the first trackpad"},
      {"opt_trackpad_positionRatio2x", "VeskWebViewController", false, "where the user dragged the second trackpad"},
      {"opt_trackpad_positionRatio2y", "VeskWebViewController", false, "where the user dragged the second trackpad"},
      {"passcode_ask_only_private_exists", "VeskWebAppDelegate", false, "switched on the passcode screen"},
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
