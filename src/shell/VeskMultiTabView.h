#pragma once
// The tab strip and tab manager in one view. It owns the open tabs (one
// page view each) and their tab items, shows the selected tab's page in the
// contents area (and, in dual mode, the tab after it in a right pane),
// keeps the tab state in user defaults so that the tabs come back at the
// next start, feeds the recently closed list and serves the bookmark
// screens to the pages.
//
// Dual mode is on exactly when curSel and curSel2 are both 0 or more; the
// right pane then shows the tab after the selected one. The index of a tab
// in tabs() is its index everywhere: strip position, tab item, "tab%d" key.
//
// Built by the main screen's interface file, which connects the contents
// area, the two trackpads and the info box; awakeFromNib restores the tabs.
// Main thread only.

#include <string>
#include <vector>

#include "kit/foundation/NotificationCenter.h"
#include "kit/ui/NavigationController.h"
#include "kit/ui/PopoverController.h"
#include "kit/ui/ScrollView.h"
#include "kit/ui/ViewController.h"
#include "shell/VeskInfoBoxView.h"
#include "shell/VeskTabItemView.h"
#include "shell/VeskTabItemViewDelegate.h"
#include "shell/VeskTrackPadView.h"
#include "shell/VeskWebViewDelegate.h"

namespace tolva {

class VeskWebView;

class VeskMultiTabView : public kit::ScrollView,
                         public kit::ScrollViewDelegate,
                         public VeskWebViewDelegate,
                         public VeskTabItemViewDelegate,
                         public kit::PopoverControllerDelegate {
 public:
  // Opened on a first start, before the home page: a page shipped in the
  // bundle ("welcome.html", "welcome~iphone.html"), so it shows offline too.
  static std::string welcomePageURL(bool pad);
  // Recently closed tabs kept at most.
  static constexpr size_t kRecentlyClosedLimit = 10;
  // How long a closed page lives on after its tab closed.
  static constexpr double kClosedPageDelay = 10.0;

  explicit VeskMultiTabView(kit::Rect frame = {});
  ~VeskMultiTabView() override;

  // ---- Outlets (set by the main screen's interface file)
  kit::View* contentsHolder() const noexcept { return contentsHolder_.get(); }
  void setContentsHolder(kit::View* v) { contentsHolder_ = v; }
  VeskTrackPadView* trackPad() const noexcept { return trackPad_.get(); }
  void setTrackPad(VeskTrackPadView* t) { trackPad_ = t; }
  VeskTrackPadView* trackPad2() const noexcept { return trackPad2_.get(); }
  void setTrackPad2(VeskTrackPadView* t) { trackPad2_ = t; }
  VeskInfoBoxView* infoBox() const noexcept { return infoBox_.get(); }
  void setInfoBox(VeskInfoBoxView* b) { infoBox_ = b; }

  // ---- Tabs
  const std::vector<kit::Ref<VeskWebView>>& tabs() const noexcept { return tabs_; }
  const std::vector<kit::Ref<VeskTabItemView>>& tabItems() const noexcept { return tabItems_; }
  int tabCount() const { return static_cast<int>(tabs_.size()); }
  int curSel() const noexcept { return curSel_; }
  int curSel2() const noexcept { return curSel2_; }
  bool isDual() const { return curSel_ >= 0 && curSel2_ >= 0; }
  VeskWebView* curView() const { return getViewAt(curSel_); }
  VeskWebView* curView2() const { return getViewAt(curSel2_); }
  // Null when the index is out of range.
  VeskWebView* getViewAt(int index) const;
  VeskTabItemView* getItemAt(int index) const;
  // The controller of the nearest superview that has one.
  kit::ViewController* viewController() const;

  // Inserts a page (a negative index, or one past the end, means the end)
  // and answers the index used; -1 for no page.
  int addTab(VeskWebView* page, int index, bool animated, bool selected = false);
  // A negative index means the selected tab.
  void deleteTab(int index, bool animated = false);
  void setCurSel(int index);
  // A negative index leaves dual mode; one at or past the end opens a fresh tab there.
  void setCurSel2(int index);
  bool privateTabExists() const;
  bool showScreenShots() const noexcept { return showScreenShots_; }
  void setShowScreenShots(bool show);
  int nFullScreen() const noexcept { return nFullScreen_; }

  // ---- Layout of the items (strip content coordinates)
  kit::Size roomSize() const;
  kit::Rect getRoomRect(int index) const;
  kit::Rect getItemRect(int index) const;
  // The tab under a point, or -1 (above or below the strip, before the
  // first tab or after the last).
  int calcIndexFromPoint(kit::Point p) const;
  void refit();
  void refitAnimated(bool animated, int animationAfterIdx, bool afterDeletion);

  // ---- VeskWebViewDelegate
  void needToCreateNewTab(VeskWebView* sender, const std::string& url, bool selected, bool privateMode) override;
  void moveTab(int delta) override;
  void screenShotUpdated(VeskWebView& page) override;
  void titleUpdated(VeskWebView& page) override;
  kit::PopoverController* getBookmarkPopover() override;
  kit::NavigationController* getBookmarkNavicon() override;
  void faviconUpdated(VeskWebView& page) override;
  void showInfoBox(const std::string& text, kit::Image* image) override;
  int getIdentifierForPersistentData(const VeskWebView& page) const override;
  void makeAllTabsFullscreen(int mode) override;
  bool isScreenShotActive() const override { return showScreenShots_; }
  void closeMe(VeskWebView& page) override;

  // ---- VeskTabItemViewDelegate
  void onCloseClicked(VeskTabItemView& item) override;
  void onDoubleTapped(VeskTabItemView& item) override;

  // ---- kit::PopoverControllerDelegate (the bookmark popover)
  void popoverControllerDidDismissPopover(kit::PopoverController& popover) override;

  void miscNotification();
  void squeezeMemory() {}
  void checkScrollable() {}

  // A touch that ends on the strip selects the tab under it.
  void touchesEnded(const kit::Touches& touches, kit::Event* event) override;
  void awakeFromNib() override;
  std::string className() const override { return "VeskMultiTabView"; }

 private:
  int indexOf(const VeskWebView* page) const;
  int indexOfItem(const VeskTabItemView* item) const;
  // The selection a tap on tab `index` makes (in dual mode with the tab after it on the right).
  void selectAsTapped(int index);
  kit::Rect paneFrame(bool right) const;
  // Puts a page into the contents area (behind what is there).
  void placeInContents(VeskWebView* page, kit::Rect frame);
  // Takes a page out of the contents area unless the other pane shows it.
  void takeOutOfContents(VeskWebView* page);
  void keepLastPicture(VeskWebView& page);
  void pushTransition(kit::View* view, bool fromLeft, double duration);
  // The trackpads drive the panes shown now.
  void pointTrackPads();
  void restoreTabs();
  void writeCurSel();
  // Writes "tabs" and lets every page from `index` on save under its index.
  void saveFrom(int index);
  void addToRecentlyClosed(VeskWebView& page);
  // A fresh item when the interface file yields none, so that items and tabs stay parallel.
  kit::Ref<VeskTabItemView> makeItem(kit::Rect frame, const std::string& title);

  kit::Ref<kit::View> contentsHolder_;
  kit::Ref<VeskTrackPadView> trackPad_;
  kit::Ref<VeskTrackPadView> trackPad2_;
  kit::Ref<VeskInfoBoxView> infoBox_;
  std::vector<kit::Ref<VeskWebView>> tabs_;
  std::vector<kit::Ref<VeskTabItemView>> tabItems_;
  int curSel_ = -1;
  int curSel2_ = -1;
  kit::Ref<kit::PopoverController> bookmarkPopOver_;
  kit::Ref<kit::NavigationController> bookmarkNavicon_;
  bool showScreenShots_ = true;
  bool restoring_ = false;  // restoreTabs is choosing the first page to show
  int nFullScreen_ = 0;
  std::vector<kit::NotificationCenter::Token> observers_;
};

}  // namespace tolva
