#pragma once
// What a page view asks of the tab strip that holds it.

#include <string>

#include "kit/ui/Image.h"
#include "kit/ui/NavigationController.h"
#include "kit/ui/PopoverController.h"

namespace tolva {

class VeskWebView;

class VeskWebViewDelegate {
 public:
  // The calls a page view first asks the delegate about.
  enum class Optional { NeedToCreateNewTab, ScreenShotUpdated, TitleUpdated, FaviconUpdated };

  virtual ~VeskWebViewDelegate() = default;

  // Whether the delegate answers an optional call (all of them by default).
  virtual bool respondsTo(Optional call) const {
    (void)call;
    return true;
  }

  // A page asks for a new tab at `url` ("" for the home page); `sender` may be null.
  virtual void needToCreateNewTab(VeskWebView* sender, const std::string& url, bool selected, bool privateMode) {
    (void)sender;
    (void)url;
    (void)selected;
    (void)privateMode;
  }
  virtual void moveTab(int delta) = 0;
  virtual void screenShotUpdated(VeskWebView& page) { (void)page; }
  virtual void titleUpdated(VeskWebView& page) { (void)page; }
  virtual kit::PopoverController* getBookmarkPopover() = 0;
  virtual kit::NavigationController* getBookmarkNavicon() = 0;
  virtual void faviconUpdated(VeskWebView& page) { (void)page; }
  virtual void showInfoBox(const std::string& text, kit::Image* image) = 0;
  // The page's tab index, or -1 when it is not one of the delegate's tabs.
  virtual int getIdentifierForPersistentData(const VeskWebView& page) const = 0;
  virtual void makeAllTabsFullscreen(int mode) = 0;
  virtual bool isScreenShotActive() const = 0;
  virtual void closeMe(VeskWebView& page) = 0;
};

}  // namespace tolva
