#include "shell/VeskTabItemViewBuilder.h"

#include "kit/ui/Layer.h"
#include "shell/InterfaceBuilderParts.h"
#include "shell/VeskTabItemView.h"

namespace tolva {
using namespace InterfaceBuilderParts;

// The item is as tall as the strip with screenshots; the tab area sits at
// its bottom and keeps its height, so that an item shrunk to the tab area
// (the strip without screenshots) shows just the title row.
void VeskTabItemViewBuilder::build(kit::InterfaceFile::Context& ctx, bool pad) {
  const double W = pad ? 160 : 100;
  const double H = pad ? 150 : 100;
  const double tabH = pad ? 44 : 36;
  const double closeW = pad ? 30 : 26;
  const double icon = 16;

  kit::Ref<VeskTabItemView> item = ctx.makeTopLevel<VeskTabItemView>(Rect(0, 0, W, H));
  VeskTabItemView* t = item.get();
  t->setBackgroundColor(kit::Color::clearColor());
  t->setOpaque(false);
  t->setClipsToBounds(true);

  // The tab's shape is a light card with a gap to its neighbours. The veil
  // (the gloss layer, shown only while the tab is not selected) dims the
  // others so that the selected tab stands out and the white title of an
  // unselected tab stays readable; the tab area's own tint stays faint so
  // that the selected tab's dark title shows on the card.
  const double inset = 2;
  t->tab_bg_ = place<kit::ImageView>(ctx, t, Rect(inset, 0, W - 2 * inset, H), FW | FH);
  t->tab_bg_->setBackgroundColor(kit::Color::withWhite(0.93));
  t->tab_bg_->layer()->setCornerRadius(6);
  t->screenShotBg_ = place<View>(ctx, t, Rect(6, 6, W - 12, H - tabH - 6), FW | FH | FB);
  View* shotBg = t->screenShotBg_.get();
  t->screenShotView_ = place<kit::ImageView>(ctx, shotBg, Rect(2, 2, W - 16, H - tabH - 10), FW | FH);
  t->screenShotView_->setContentMode(View::ContentMode::ScaleAspectFill);
  t->screenShotView_->setClipsToBounds(true);
  t->maskOnLeftBottom_ = place<kit::ImageView>(ctx, shotBg, Rect(2, H - tabH - 30, 20, 20), FR | FT);
  t->glossy_ = place<kit::ImageView>(ctx, t, Rect(inset, 0, W - 2 * inset, H), FW | FH);
  t->glossy_->setBackgroundColor(kit::Color::withWhite(0, 0.45));
  t->glossy_->layer()->setCornerRadius(6);
  t->tab_shadow_ = place<kit::ImageView>(ctx, t, Rect(inset, H - 3, W - 2 * inset, 3), FW | FT);
  t->tab_shadow_->setBackgroundColor(kit::Color::withWhite(0, 0.3));

  t->tabView_ = place<View>(ctx, t, Rect(0, H - tabH, W, tabH), FW | FT);
  View* tab = t->tabView_.get();
  t->tabViewBg_ = place<View>(ctx, tab, Rect(inset, 0, W - 2 * inset, tabH), FW | FH);
  t->tabViewBg_->setAlpha(0.08);
  t->faviCon_ = place<kit::ImageView>(ctx, tab, Rect(6, (tabH - icon) / 2, icon, icon), FR | FT | FB);
  t->title_ = place<kit::Label>(ctx, tab, Rect(6 + icon + 4, 0, W - (6 + icon + 4) - closeW, tabH), FW | FH);
  t->title_->setFontSize(pad ? 13 : 11);
  t->title_->setBackgroundColor(kit::Color::clearColor());
  t->closeBtn_ = place<kit::Button>(ctx, tab, Rect(W - closeW, (tabH - closeW) / 2, closeW, closeW), FL | FT | FB);
  // Shown until the close images are drawn over it.
  t->closeBtn_->setTitle("\u00D7");
  t->closeBtn_->setTitleColor(kit::Color::withWhite(0.25));

  kit::WeakRef<VeskTabItemView> weak(t);
  t->closeBtn_->addTarget("onCloseClicked", kit::Control::TouchUpInside, [weak](kit::Control&) {
    if (kit::Ref<VeskTabItemView> i = weak.lock()) i->onCloseClicked();
  });
}

}  // namespace tolva
