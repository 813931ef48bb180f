#pragma once
// Site icons for tabs, bookmark rows, the jog dials and the address bar: one
// 16 x 16 PNG file per site ("favicon-<host>.png", with ":<port>" after a
// host on another port) in the caches folder. A missing icon is fetched from
// "http://<host>[:<port>]/favicon.ico" in the background while the bundle's
// icon for the site, or the default one, is shown; there is no callback, the
// callers ask again later.
//
// Only hosts made of [a-z0-9.-] make a file name (IDN hosts in their ASCII
// form, never "..", never a path separator); anything else gets the default
// icon and no fetch. Fetches run on a small pool, one per site at a time,
// with a time-out and a size cap; a site whose fetch failed is not asked
// again for an hour. Icon files are written whole under a temporary name and
// renamed into place, and an existing file is never replaced.

#include <functional>
#include <optional>
#include <string>

#include "kit/foundation/Object.h"
#include "kit/ui/Image.h"

namespace tolva {

class VeskFaviconDatabase : public kit::Object {
 public:
  static constexpr double kIconSide = 16;
  static constexpr double kFetchTimeout = 15;
  static constexpr size_t kMaxIconBytes = 256 * 1024;
  static constexpr double kRetryAfterFailure = 3600;
  static constexpr int kConcurrentFetches = 4;

  VeskFaviconDatabase();
  static VeskFaviconDatabase* getSharedInstance();

  // The host of the URL (null when it has none).
  static std::optional<std::string> extractBase(const std::string& url);
  // The site's part of an icon file name: the host (lower case, ASCII) and a
  // port other than the scheme's; null when the URL has no usable host.
  static std::optional<std::string> siteKey(const std::string& url);
  // The file that holds (or would hold) the icon of the URL's site; "" without a site.
  static std::string faviconPath(const std::string& url);

  kit::Ref<kit::Image> getCancelFavicon();
  kit::Ref<kit::Image> getHistoryFavicon();
  kit::Ref<kit::Image> getFolderFavicon();
  // Whether an icon is stored for the URL's site.
  bool checkFavicon(const std::string& url) const;
  // The image to show for the URL (fetching it when it is not stored yet).
  kit::Ref<kit::Image> getFavicon(const std::string& url);
  // Starts fetching the icon of the URL's site unless it is stored, being
  // fetched, or failed within the hour.
  void makeFaviconAvailable(const std::string& url);
  // The body of one fetch (runs on a pool thread): site as siteKey() gives it.
  static void downloadFaviconInBackground(const std::string& site);
  // Before the program exits: no fetch starts any more, queued ones are
  // dropped and running ones cancelled, and this waits (at most `seconds`)
  // for them to end, so that none is still using what the exit takes down.
  static void stopFetches(double seconds = 2.0);

  // Tests: where a site's icon is fetched from ("" to fetch nothing), in
  // place of "http://<site>/favicon.ico"; null restores that.
  using FetchAddress = std::function<std::string(const std::string& site)>;
  static void setFetchAddressForTesting(FetchAddress address);
  // Tests: waits for every fetch to end; forgets failures and fetch counts.
  static void waitForFetchesForTesting();
  static void resetForTesting();
  // Fetches started since the last reset (tests).
  static int fetchCountForTesting();

  std::string className() const override { return "VeskFaviconDatabase"; }

 private:
  static kit::Ref<kit::Image> bundleIcon(const std::string& name);
};

}  // namespace tolva
