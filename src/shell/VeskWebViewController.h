#pragma once
// The root controller of the main window. Its interface file
// ("VeskWebViewController", "...~iphone" on phones) holds the tab strip,
// the content area the pages are shown in, the bookmark and brightness
// docks, the trackpads, the info box and the main screen's buttons. It owns
// the screen-level modes (tab-strip size, full screen, dual pane, trackpads,
// rotation lock) and opens tabs for URLs from outside. Main thread only.

#include <string>
#include <vector>

#include "kit/foundation/NotificationCenter.h"
#include "kit/ui/Button.h"
#include "kit/ui/Control.h"
#include "kit/ui/GestureRecognizer.h"
#include "kit/ui/Label.h"
#include "kit/ui/PopoverController.h"
#include "kit/ui/ScrollView.h"
#include "kit/ui/ViewController.h"
#include "shell/VeskInfoBoxView.h"
#include "shell/VeskJogDialView.h"
#include "shell/VeskMultiTabView.h"
#include "shell/VeskRecentlyClosedTableViewController.h"
#include "shell/VeskScreenBrightnessJogDialDelegate.h"
#include "shell/VeskTouchPropagatingUIButton.h"
#include "shell/VeskTrackPadView.h"
#include "settings/PrefAppSettingsViewController.h"
#include "data/VeskFaviconDatabase.h"

namespace tolva {

class VeskWebViewController : public kit::ViewController,
                              public VeskJogDialViewDelegate,
                              public PrefSettingsDelegate,
                              public kit::ScrollViewDelegate,
                              public kit::PopoverControllerDelegate,
                              public VeskRecentlyClosedTableViewControllerDelegate {
 public:
  // Value of fullEstate() with the content area over the whole screen.
  static constexpr int kEstateFull = 2;
  // How far a dock slides out.
  static constexpr double kDockSlide = 145;

  explicit VeskWebViewController(std::string nibName);
  ~VeskWebViewController() override;

  // Made on first use; dropped on a memory warning.
  VeskFaviconDatabase* faviconDb();
  void setFaviconDb(kit::Ref<VeskFaviconDatabase> db) { faviconDb_ = std::move(db); }

  bool lockRotation() const noexcept { return lockRotation_; }
  // Stores, announces and writes the lock (with the orientation it holds).
  void setLockRotation(bool lock);
  int fullEstate() const noexcept { return fullEstate_; }
  void setFullEstate(int estate);
  bool bSmallTab() const noexcept { return bSmallTab_; }
  bool blockLongPressGesture() const noexcept { return blockLongPressGesture_; }

  void _refitTrackpads();
  void _savePrivateTabState();
  void _settingsChanged();
  void _enableLater(kit::Control* control);

  // Opens a URL from outside in a new tab after the current one.
  void createNewTabWithURL(const std::string& url);
  void onNewPage(kit::Control* button);
  void onClosePage();
  void onLongPressNewPage(kit::GestureRecognizer& recognizer);
  void onToggleTrackPad();
  // Null: the dual-pane button.
  void onDualMode(kit::Button* sender);
  void onSettings();
  // Null or a selected button: the small strip without screenshots; an unselected button: the large one.
  void onToggleTab(kit::Button* sender);
  void onTouchBookmarkTip(VeskTouchPropagatingUIButton* tip);
  void onTouchCancelBookmarkTip(VeskTouchPropagatingUIButton* tip);
  void onTouchEndBookmarkTip(VeskTouchPropagatingUIButton* tip);
  void onStatusBar(bool rightHalf);

  // ---- kit::ViewController
  void viewDidLoad() override;
  void viewDidAppear(bool animated) override;
  void didRotateFromInterfaceOrientation(kit::InterfaceOrientation from) override;
  bool shouldAutorotateToInterfaceOrientation(kit::InterfaceOrientation o) override;
  void didReceiveMemoryWarning() override;

  // ---- VeskJogDialViewDelegate (both bookmark dials)
  kit::Ref<kit::Image> VeskJogDialViewCancelImage(VeskJogDialView& dial) override;
  void VeskJogDialViewCancelled(VeskJogDialView& dial) override;
  size_t VeskJogDialViewNumberOfItems(VeskJogDialView& dial) override;
  kit::Ref<kit::Image> VeskJogDialViewImageAtIndex(VeskJogDialView& dial, long index) override;
  size_t VeskJogDialNumberOfButtonsOnJogdial(VeskJogDialView& dial) override;
  void VeskJogDialViewPositionChanged(VeskJogDialView& dial, long index) override;
  // The item index last pointed at on a dial (-1: none).
  static long dialIndex(bool leftDial);

  // ---- Other delegates
  bool scrollViewShouldScrollToTop(kit::ScrollView& sv) override;
  void settingsViewControllerDidEnd(PrefAppSettingsViewController& sender) override;
  void popoverControllerDidDismissPopover(kit::PopoverController& popover) override;
  void onSelect(const std::string& url) override;

  // ---- Outlets
  VeskMultiTabView* multiTab() const { return multiTab_.get(); }
  kit::View* multiTabBg() const { return multiTabBg_.get(); }
  kit::View* contentsHolder() const { return contentsHolder_.get(); }
  kit::View* contentsHolder2() const { return contentsHolder2_.get(); }
  kit::View* fullContentsHolder() const { return fullContentsHolder_.get(); }
  kit::View* fullContentsHolder2() const { return fullContentsHolder2_.get(); }
  kit::View* normalContentsHolder() const { return normalContentsHolder_.get(); }
  kit::View* faviLabelContainer() const { return faviLabelContainer_.get(); }
  kit::Label* faviLabel() const { return faviLabel_.get(); }
  kit::View* faviDock() const { return faviDock_.get(); }
  kit::View* faviDock2() const { return faviDock2_.get(); }
  kit::View* brightnessDock() const { return brightnessDock_.get(); }
  kit::Button* trackPadBtn() const { return trackPadBtn_.get(); }
  kit::Button* dualViewBtn() const { return dualViewBtn_.get(); }
  VeskJogDialView* faviDial() const { return faviDial_.get(); }
  VeskJogDialView* faviDial2() const { return faviDial2_.get(); }
  VeskJogDialView* brightnessDial() const { return brightnessDial_.get(); }
  VeskInfoBoxView* infoBox() const { return infoBox_.get(); }
  VeskTouchPropagatingUIButton* faviDockTip1() const { return faviDockTip1_.get(); }
  VeskTouchPropagatingUIButton* faviDockTip2() const { return faviDockTip2_.get(); }
  VeskTouchPropagatingUIButton* brightnessDockTip() const { return brightnessDockTip_.get(); }
  kit::View* overlay() const { return overlay_.get(); }
  kit::View* bigButtons() const { return bigButtons_.get(); }
  kit::View* smallButtons() const { return smallButtons_.get(); }
  VeskTrackPadView* trackPad() const { return trackPad_.get(); }
  VeskTrackPadView* trackPad2() const { return trackPad2_.get(); }
  kit::Button* newPageBtn1() const { return newPageBtn1_.get(); }
  kit::Button* newPageBtn2() const { return newPageBtn2_.get(); }
  kit::Button* statusBtnLeft() const { return statusBtnLeft_.get(); }
  kit::Button* statusBtnRight() const { return statusBtnRight_.get(); }

  std::string className() const override { return "VeskWebViewController"; }

 private:
  friend class VeskWebViewControllerBuilder;

  kit::View* dockFor(const kit::View* tip) const;
  void slideDock(kit::View* dock, double dx);
  void placeStatusButtons();
  void showInfo(const char* text, kit::Image* icon);

  kit::Ref<VeskMultiTabView> multiTab_;
  kit::Ref<kit::View> multiTabBg_;
  kit::Ref<kit::View> contentsHolder_, contentsHolder2_;
  kit::Ref<kit::View> fullContentsHolder_, fullContentsHolder2_, normalContentsHolder_;
  kit::Ref<kit::View> faviLabelContainer_;
  kit::Ref<kit::Label> faviLabel_;
  kit::Ref<kit::View> faviDock_, faviDock2_, brightnessDock_;
  kit::Ref<kit::Button> trackPadBtn_, dualViewBtn_;
  kit::Ref<VeskJogDialView> faviDial_, faviDial2_, brightnessDial_;
  kit::Ref<VeskScreenBrightnessJogDialDelegate> brightnessDelegate_;
  kit::Ref<VeskInfoBoxView> infoBox_;
  kit::Ref<VeskTouchPropagatingUIButton> faviDockTip1_, faviDockTip2_, brightnessDockTip_;
  kit::Ref<VeskFaviconDatabase> faviconDb_;
  kit::Ref<kit::View> overlay_;
  kit::Ref<kit::View> bigButtons_, smallButtons_;
  kit::Ref<VeskTrackPadView> trackPad_, trackPad2_;
  kit::Ref<kit::Button> newPageBtn1_, newPageBtn2_;
  bool blockLongPressGesture_ = false;
  bool lockRotation_ = false;
  int fullEstate_ = 0;
  bool bSmallTab_ = false;
  kit::Ref<kit::Button> statusBtnLeft_, statusBtnRight_;
  std::vector<kit::NotificationCenter::Token> observers_;
};

}  // namespace tolva
