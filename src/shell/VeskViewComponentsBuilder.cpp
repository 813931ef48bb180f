#include "shell/VeskViewComponentsBuilder.h"

#include <algorithm>
#include <cmath>
#include <functional>
#include <utility>
#include <vector>

#include "common/LocalizedText.h"
#include "kit/ui/Font.h"
#include "kit/ui/Image.h"
#include "kit/ui/Layer.h"
#include "kit/ui/TextMeasurement.h"
#include "kit/ui/Toolbar.h"
#include "shell/InterfaceBuilderParts.h"
#include "shell/VeskWebView.h"

namespace tolva {
namespace {

using namespace InterfaceBuilderParts;

// Controls reach the page weakly: a control kept alive elsewhere (the first
// responder, a bar in a popover) must not call into a page that is gone.
using PageCall = std::function<void(VeskWebView&)>;

kit::Control::Action toPage(VeskWebView* page, PageCall call) {
  kit::WeakRef<VeskWebView> weak(page);
  return [weak, call](kit::Control&) {
    if (kit::Ref<VeskWebView> p = weak.lock()) call(*p);
  };
}

kit::Ref<kit::BarButtonItem> item(kit::BarButtonItem::SystemItem system, VeskWebView* page, const char* name,
                                  PageCall call) {
  kit::WeakRef<VeskWebView> weak(page);
  return kit::BarButtonItem::withSystemItem(system, name, [weak, call](kit::BarButtonItem&) {
    if (kit::Ref<VeskWebView> p = weak.lock()) call(*p);
  });
}

kit::Ref<kit::BarButtonItem> titled(const char* title, VeskWebView* page, const char* name, PageCall call) {
  kit::WeakRef<VeskWebView> weak(page);
  return kit::BarButtonItem::withTitle(LocalizedText::localized(title), kit::BarButtonItem::Style::Plain, name,
                                       [weak, call](kit::BarButtonItem&) {
                                         if (kit::Ref<VeskWebView> p = weak.lock()) call(*p);
                                       });
}

// The width a toolbar needs to show these items side by side.
double barWidth(const std::vector<kit::Ref<kit::BarButtonItem>>& items) {
  double w = 2 * kit::Toolbar::kEdgePadding;
  for (const auto& i : items) w += kit::Toolbar::naturalWidth(*i);
  if (items.size() > 1) w += kit::Toolbar::kItemGap * double(items.size() - 1);
  return w;
}

// Narrows the items so that they fit a bar of the given width: titled items
// to their text with a small margin, icon items to an equal share of the rest.
void fitToBar(const std::vector<kit::Ref<kit::BarButtonItem>>& items, double barW) {
  if (barWidth(items) <= barW) return;
  const double margin = 4;
  double room = barW - 2 * kit::Toolbar::kEdgePadding - kit::Toolbar::kItemGap * double(items.size() - 1);
  auto flexible = [](const kit::BarButtonItem& i) {
    return i.isSystemItem() && i.systemItem() == kit::BarButtonItem::SystemItem::FlexibleSpace;
  };
  size_t icons = 0;
  for (const auto& i : items) {
    if (flexible(*i)) continue;
    if (i->title().empty()) {
      ++icons;
      continue;
    }
    const double w = std::ceil(kit::TextMeasurement::sizeOfText(i->title(), kit::Font::boldSystemFont(12)).width) +
                     2 * margin;
    i->setWidth(w);
    room -= w;
  }
  if (icons == 0) return;
  const double share = std::floor(std::min(44.0, room / double(icons)));
  for (const auto& i : items)
    if (i->title().empty() && !flexible(*i)) i->setWidth(share);
}

// A small icon button on a dark rounded backing, so that it shows over any page.
void floatingIcon(kit::Button& button, const char* normal, const char* selected) {
  button.setImage(kit::Image::imageNamed(normal));
  button.setImage(kit::Image::imageNamed(selected), kit::Control::Selected);
  button.setBackgroundColor(kit::Color::withWhite(0.15, 0.75));
  button.layer()->setCornerRadius(6);
}

}  // namespace

void VeskViewComponentsBuilder::build(kit::InterfaceFile::Context& ctx, bool pad) {
  const double W = pad ? 1024 : 320;
  const double H = pad ? 598 : 360;
  kit::Ref<VeskWebView> page = ctx.makeTopLevel<VeskWebView>(Rect(0, 0, W, H));
  VeskWebView* p = page.get();
  p->setAutoresizingMask(63);
  p->setClipsToBounds(true);
  p->setBackgroundColor(kit::Color::blackColor());

  // Bar items.
  p->btnPrev_ = item(kit::BarButtonItem::SystemItem::Rewind, p, "onPrev", [](VeskWebView& v) { v.onPrev(); });
  p->btnNext_ = item(kit::BarButtonItem::SystemItem::FastForward, p, "onNext", [](VeskWebView& v) { v.onNext(); });
  p->btnAction_ = item(kit::BarButtonItem::SystemItem::Action, p, "onAction:", [](VeskWebView& v) { v.onAction(); });
  p->btnEzCommand_ = titled("Command", p, "onEasyCommand:", [](VeskWebView& v) { v.onEasyCommand(); });
  p->readerBtn_ = titled("Reader", p, "onReader:", [](VeskWebView& v) { v.onReader(); });
  p->bookmarkBtn_ =
      item(kit::BarButtonItem::SystemItem::Bookmarks, p, "onBookmark:", [](VeskWebView& v) { v.onBookmark(); });
  auto space = [] { return kit::BarButtonItem::withSystemItem(kit::BarButtonItem::SystemItem::FlexibleSpace); };

  // Top bar: the address group and the search group (with the title on phones).
  const double topH = pad ? 44 : 60;
  const double fieldsY = pad ? 7 : 24;
  p->toolBarView1_ = place<View>(ctx, p, Rect(0, 0, W, topH), FW | FB);
  // Everything on the bar lies on the address bar's background, so that all
  // of it rides with the page when the bar scrolls away.
  p->urlBaseView_ = place<View>(ctx, p->toolBarView1_.get(), Rect(0, 0, W, topH), FW);
  View* top = p->urlBaseView_.get();
  double leftX = 6;
  if (pad) {
    // The navigation bar is as wide as its items; the fields take the rest.
    std::vector<kit::Ref<kit::BarButtonItem>> navItems{p->btnPrev_, p->btnNext_, p->btnAction_, p->btnEzCommand_};
    const double navW = std::ceil(barWidth(navItems));
    kit::Ref<kit::Toolbar> nav = place<kit::Toolbar>(ctx, top, Rect(0, 0, navW, 44), FR);
    nav->setBarStyle(kit::BarStyle::Black);
    nav->setItems(navItems);
    leftX = navW + 6;
  } else {
    p->title_ = place<kit::Label>(ctx, top, Rect(0, 2, W, 18), FW);
  }
  const double searchW = pad ? 240 : 96;
  const double lockW = pad ? 36 : 0;
  const double leftW = W - leftX - searchW - lockW - 12;
  p->header_left_ = place<View>(ctx, top, Rect(leftX, fieldsY, leftW, 30), FW);
  p->header_left_placeHolder_ = place<View>(ctx, top, Rect(leftX, fieldsY, leftW, 30), FW);
  p->header_left_placeHolder_->setHidden(true);
  View* left = p->header_left_.get();
  p->faviconView_ = place<kit::ImageView>(ctx, left, Rect(4, 7, 16, 16), FR);
  p->urlField_ = place<kit::TextField>(ctx, left, Rect(24, 0, leftW - 56, 30), FW);
  p->urlField_->setBorderStyle(kit::TextField::BorderStyle::RoundedRect);
  p->urlField_->setKeyboardType(kit::KeyboardType::URL);
  p->urlField_->setPlaceholder(LocalizedText::localized("Go to this address"));
  p->urlField_->setDelegate(p);
  p->activity_ = place<kit::ActivityIndicatorView>(ctx, left, Rect(leftW - 54, 5, 20, 20), FL);
  p->btnStopRefresh_ = place<kit::Button>(ctx, left, Rect(leftW - 30, 0, 30, 30), FL);
  // Selected while a page loads: the button stops it; otherwise it reloads.
  p->btnStopRefresh_->setImage(kit::Image::imageNamed("btn_reload"));
  p->btnStopRefresh_->setImage(kit::Image::imageNamed("btn_stop"), kit::Control::Selected);
  p->btnStopRefresh_->addTarget("onStopReload", kit::Control::TouchUpInside,
                                toPage(p, [](VeskWebView& v) { v.onStopReload(); }));

  const double rightX = leftX + leftW + 6;
  p->header_right_ = place<View>(ctx, top, Rect(rightX, fieldsY, searchW, 30), FL);
  p->header_right_placeHolder_ = place<View>(ctx, top, Rect(rightX, fieldsY, searchW, 30), FL);
  p->header_right_placeHolder_->setHidden(true);
  p->searchField_ = place<kit::TextField>(ctx, p->header_right_.get(), Rect(0, 0, searchW, 30), FW);
  p->searchField_->setBorderStyle(kit::TextField::BorderStyle::RoundedRect);
  p->searchField_->setDelegate(p);

  p->btnRotationLock_ =
      place<kit::Button>(ctx, pad ? top : p, pad ? Rect(W - 36, 7, 30, 30) : Rect(W - 34, 64, 30, 30), FL);
  floatingIcon(*p->btnRotationLock_, "info_unlock_rotation", "info_lock_rotation");
  p->btnRotationLock_->addTarget("onToggleLockRotation:", kit::Control::TouchUpInside,
                                 toPage(p, [](VeskWebView& v) { v.onToggleLockRotation(); }));

  // While a field is edited it grows to this frame, with a button that ends the editing.
  p->textFieldZoomPlaceHolder_ = place<View>(ctx, top, Rect(leftX, fieldsY, W - leftX - 48, 30), FW);
  p->textFieldZoomPlaceHolder_->setHidden(true);
  p->textFieldZoomCloseBtn_ = place<kit::Button>(ctx, top, Rect(W - 40, fieldsY, 34, 30), FL);
  p->textFieldZoomCloseBtn_->setImage(kit::Image::imageNamed("close_normal"));
  p->textFieldZoomCloseBtn_->setHidden(true);
  p->textFieldZoomCloseBtn_->addTarget("onExitSearchInput:", kit::Control::TouchUpInside,
                                       toPage(p, [](VeskWebView& v) { v.onExitSearchInput(); }));

  // The web view's place: under the top bar and above the bottom bar; with
  // the address bar scrolling away (tablets), over the whole upper part.
  const double bottomH = 44;
  p->placeholderView_ = place<View>(ctx, p, Rect(0, topH, W, H - topH - bottomH), FW | FH);
  p->placeholderView_->setHidden(true);
  if (pad) {
    p->placeholderViewWithEmbeddedUrlBar_ = place<View>(ctx, p, Rect(0, 0, W, H - bottomH), FW | FH);
    p->placeholderViewWithEmbeddedUrlBar_->setHidden(true);
  }
  p->progressBoundary_ = place<View>(ctx, p, Rect(0, topH, W, 3), FW | FB);
  p->progressBoundary_->setBackgroundColor(kit::Color::blueColor());
  p->progressBoundary_->setHidden(true);
  p->pullDownToRefreshLabel_ = place<kit::Label>(ctx, p, Rect(0, topH, W, 30), FW | FB);
  p->pullDownToRefreshLabel_->setText(LocalizedText::localized("Pull down to reload"));
  p->pullDownToRefreshLabel_->setTextAlignment(kit::TextAlignment::Center);
  p->pullDownToRefreshLabel_->setHidden(true);

  // Bottom bar.
  p->toolBarView2_ = place<View>(ctx, p, Rect(0, H - bottomH, W, bottomH), FW | FT);
  View* bottom = p->toolBarView2_.get();
  kit::Ref<kit::Toolbar> tools = place<kit::Toolbar>(ctx, bottom, Rect(0, 0, W, bottomH), FW);
  tools->setBarStyle(kit::BarStyle::Black);
  if (pad) {
    tools->setItems({p->readerBtn_, space(), p->bookmarkBtn_});
    p->title_ = place<kit::Label>(ctx, bottom, Rect(120, 12, W - 240, 20), FW);
  } else {
    // Six items on a narrow bar: the titled ones keep their words and the
    // icons share what is left; on a wider bar the spaces between them
    // grow, so the last stays at the right edge.
    std::vector<kit::Ref<kit::BarButtonItem>> row{p->btnPrev_,   space(), p->btnNext_,     space(),
                                                  p->btnAction_, space(), p->btnEzCommand_, space(),
                                                  p->readerBtn_, space(), p->bookmarkBtn_};
    fitToBar(row, W);
    tools->setItems(row);
  }
  p->title_->setTextAlignment(kit::TextAlignment::Center);
  p->title_->setTextColor(kit::Color::whiteColor());
  p->btnPrivate_ =
      place<kit::Button>(ctx, pad ? bottom : p, pad ? Rect(W - 84, 7, 30, 30) : Rect(W - 34, 100, 30, 30), FL);
  floatingIcon(*p->btnPrivate_, "info_secret", "secret_selected");
  p->btnPrivate_->addTarget("onPrivateMode", kit::Control::TouchUpInside,
                            toPage(p, [](VeskWebView& v) { v.onPrivateMode(); }));

  // Floating controls of full screen; on phones along the left edge, as the
  // right one holds the rotation-lock and private buttons and the pull tabs.
  double fx = pad ? W - 50 : 4;
  double fs = pad ? 40 : 32;
  double fy = pad ? topH + 16 : 64;
  const unsigned side = pad ? FL | FB : FR | FB;
  p->btnFullscreenExit_ = place<kit::Button>(ctx, p, Rect(fx, fy, fs, fs), side);
  p->btnFullscreenPrev_ = place<kit::Button>(ctx, p, Rect(fx, fy + 8 + fs, fs, fs), side);
  p->btnFullscreenNext_ = place<kit::Button>(ctx, p, Rect(fx, fy + 16 + 2 * fs, fs, fs), side);
  floatingIcon(*p->btnFullscreenExit_, "btn_fullscreen_exit", "btn_fullscreen_exit");
  floatingIcon(*p->btnFullscreenPrev_, "btn_fullscreen_prev", "btn_fullscreen_prev");
  floatingIcon(*p->btnFullscreenNext_, "btn_fullscreen_next", "btn_fullscreen_next");
  for (kit::Button* b : {p->btnFullscreenExit_.get(), p->btnFullscreenPrev_.get(), p->btnFullscreenNext_.get()})
    b->setHidden(true);
  p->btnFullscreenExit_->addTarget("onFullScreen:", kit::Control::TouchUpInside,
                                   toPage(p, [](VeskWebView& v) { v.onFullScreen(); }));
  p->btnFullscreenPrev_->addTarget("onPrev", kit::Control::TouchUpInside,
                                   toPage(p, [](VeskWebView& v) { v.onPrev(); }));
  p->btnFullscreenNext_->addTarget("onNext", kit::Control::TouchUpInside,
                                   toPage(p, [](VeskWebView& v) { v.onNext(); }));

  // The text-size popup.
  p->vwFontPopup_ = place<View>(ctx, p, Rect(W / 2 - 133, topH + 10, 266, 44), FL | FR | FB);
  p->vwFontPopup_->setHidden(true);
  p->btnFontDecrease_ = place<kit::Button>(ctx, p->vwFontPopup_.get(), Rect(4, 4, 60, 36), FR);
  p->btnFontReset_ = place<kit::Button>(ctx, p->vwFontPopup_.get(), Rect(70, 4, 60, 36), FL | FR);
  p->btnFontIncrease_ = place<kit::Button>(ctx, p->vwFontPopup_.get(), Rect(136, 4, 60, 36), FL);
  p->btnFontDecrease_->addTarget("onFontDerease:", kit::Control::TouchUpInside,
                                 toPage(p, [](VeskWebView& v) { v.onFontDerease(); }));
  p->btnFontReset_->addTarget("onFontReset:", kit::Control::TouchUpInside,
                              toPage(p, [](VeskWebView& v) { v.onFontReset(); }));
  p->btnFontIncrease_->addTarget("onFontIncrease:", kit::Control::TouchUpInside,
                                 toPage(p, [](VeskWebView& v) { v.onFontIncrease(); }));
  p->vwFontPopup_->setBackgroundColor(kit::Color::withWhite(0.15, 0.9));
  p->vwFontPopup_->layer()->setCornerRadius(8);
  kit::Ref<kit::Button> fontClose = place<kit::Button>(ctx, p->vwFontPopup_.get(), Rect(202, 4, 60, 36), FL);
  fontClose->addTarget("onFontClose:", kit::Control::TouchUpInside, toPage(p, [](VeskWebView& v) { v.onFontClose(); }));
  const std::pair<kit::Button*, std::string> fontButtons[] = {{p->btnFontDecrease_.get(), "A-"},
                                                              {p->btnFontReset_.get(), "100%"},
                                                              {p->btnFontIncrease_.get(), "A+"},
                                                              {fontClose.get(), LocalizedText::localized("Done")}};
  for (auto [button, label] : fontButtons) {
    button->setTitle(label);
    button->setTitleColor(kit::Color::whiteColor());
    button->setTitleColor(kit::Color::grayColor(), kit::Control::Disabled);
    button->setBackgroundColor(kit::Color::withWhite(0.3));
    button->layer()->setCornerRadius(6);
  }

  // The suggestion list under the fields.
  p->resultTableView_ =
      place<kit::TableView>(ctx, p, Rect(pad ? leftX : 0, topH, pad ? 420 : W, pad ? 320 : 200), pad ? FB : FW | FB);
  p->resultTableView_->setHidden(true);
}

}  // namespace tolva
