#pragma once
// Stand-in for the tab strip and tab manager. It opens one page at the home
// page when it is built (saved tabs are not restored yet), keeps the pages in
// order, shows the selected one (and a second one in dual mode) in the
// contents area, and answers the pages' calls. Tab items, screenshots, the
// recently closed list and the bookmark screens come with the real strip.

#include <string>
#include <vector>

#include "kit/foundation/NotificationCenter.h"
#include "kit/ui/ScrollView.h"
#include "shell/VeskInfoBoxView.h"
#include "shell/VeskTrackPadView.h"
#include "shell/VeskWebViewDelegate.h"

namespace tolva {

class VeskWebView;

class VeskMultiTabView : public kit::ScrollView, public kit::ScrollViewDelegate, public VeskWebViewDelegate {
 public:
  explicit VeskMultiTabView(kit::Rect frame = {});
  ~VeskMultiTabView() override;

  // ---- Outlets (set by the main screen's interface file)
  kit::View* contentsHolder() const noexcept { return contentsHolder_.get(); }
  void setContentsHolder(kit::View* v) { contentsHolder_ = v; }
  VeskTrackPadView* trackPad() const noexcept { return trackPad_.get(); }
  void setTrackPad(VeskTrackPadView* t);
  VeskTrackPadView* trackPad2() const noexcept { return trackPad2_.get(); }
  void setTrackPad2(VeskTrackPadView* t);
  VeskInfoBoxView* infoBox() const noexcept { return infoBox_.get(); }
  void setInfoBox(VeskInfoBoxView* b);

  // ---- Tabs
  const std::vector<kit::Ref<VeskWebView>>& tabs() const noexcept { return tabs_; }
  int tabCount() const { return static_cast<int>(tabs_.size()); }
  int curSel() const noexcept { return curSel_; }
  int curSel2() const noexcept { return curSel2_; }
  bool isDual() const { return curSel_ >= 0 && curSel2_ >= 0; }
  VeskWebView* curView() const { return getViewAt(curSel_); }
  VeskWebView* curView2() const { return getViewAt(curSel2_); }
  VeskWebView* getViewAt(int index) const;
  // Answers the index used (a negative index means the end).
  int addTab(VeskWebView* page, int index, bool animated, bool selected = false);
  // A negative index means the selected tab.
  void deleteTab(int index, bool animated = false);
  void setCurSel(int index);
  // A negative index leaves dual mode.
  void setCurSel2(int index);
  bool privateTabExists() const;
  bool showScreenShots() const noexcept { return showScreenShots_; }
  void setShowScreenShots(bool show) { showScreenShots_ = show; }
  int nFullScreen() const noexcept { return nFullScreen_; }

  // ---- VeskWebViewDelegate
  void needToCreateNewTab(VeskWebView* sender, const std::string& url, bool selected, bool privateMode) override;
  void moveTab(int delta) override;
  kit::PopoverController* getBookmarkPopover() override { return nullptr; }
  kit::NavigationController* getBookmarkNavicon() override { return nullptr; }
  void showInfoBox(const std::string& text, kit::Image* image) override;
  int getIdentifierForPersistentData(const VeskWebView& page) const override;
  void makeAllTabsFullscreen(int mode) override;
  bool isScreenShotActive() const override { return showScreenShots_; }
  void closeMe(VeskWebView& page) override;

  void miscNotification();
  void awakeFromNib() override;
  std::string className() const override { return "VeskMultiTabView"; }

 private:
  int indexOf(const VeskWebView* page) const;
  kit::Rect paneFrame(bool right) const;
  void show(VeskWebView* page, bool right);
  void saveFrom(int index);

  kit::Ref<kit::View> contentsHolder_;
  kit::Ref<VeskTrackPadView> trackPad_;
  kit::Ref<VeskTrackPadView> trackPad2_;
  kit::Ref<VeskInfoBoxView> infoBox_;
  std::vector<kit::Ref<VeskWebView>> tabs_;
  int curSel_ = -1;
  int curSel2_ = -1;
  bool showScreenShots_ = true;
  int nFullScreen_ = 0;
  std::vector<kit::NotificationCenter::Token> observers_;
};

}  // namespace tolva
