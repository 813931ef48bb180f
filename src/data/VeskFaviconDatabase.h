#pragma once
// Site icons for tabs, bookmark rows, the jog dials and the address bar.

#include <string>

#include "kit/foundation/Object.h"
#include "kit/ui/Image.h"

namespace tolva {

class VeskFaviconDatabase : public kit::Object {
 public:
  VeskFaviconDatabase() = default;
  static VeskFaviconDatabase* getSharedInstance();

  // Whether an icon is stored for the URL's site.
  bool checkFavicon(const std::string& url) const;
  // The image to show for the URL; null while none is known.
  kit::Ref<kit::Image> getFavicon(const std::string& url);
  kit::Ref<kit::Image> getCancelFavicon() { return nullptr; }
  kit::Ref<kit::Image> getHistoryFavicon() { return nullptr; }
  kit::Ref<kit::Image> getFolderFavicon() { return nullptr; }
  // Starts fetching the icon of the URL's site.
  void makeFaviconAvailable(const std::string& url);

  std::string className() const override { return "VeskFaviconDatabase"; }
};

}  // namespace tolva
