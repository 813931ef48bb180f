#include "shell/VeskWebViewControllerBuilder.h"

#include <algorithm>
#include <cmath>
#include <functional>
#include <string>

#include "common/LocalizedText.h"
#include "kit/ui/Font.h"
#include "kit/ui/Layer.h"
#include "kit/ui/TextMeasurement.h"
#include "shell/InterfaceBuilderParts.h"
#include "shell/VeskWebViewController.h"

namespace tolva {
namespace {

using namespace InterfaceBuilderParts;

// A dock holds a dial and its pull tab and lies over the page's edge: where
// neither of them is, a touch goes to the page beneath.
class DockView : public View {
 public:
  using View::View;
  View* hitTest(kit::Point p, kit::Event* event) override {
    View* hit = View::hitTest(p, event);
    return hit == this ? nullptr : hit;
  }
};

// Controls reach the controller weakly: the window may keep a control
// alive after the controller is gone.
using Call = std::function<void(VeskWebViewController&, kit::Control&)>;

void connect(kit::Control* control, VeskWebViewController* owner, const char* name, unsigned events, Call call) {
  if (!owner) return;
  kit::WeakRef<VeskWebViewController> weak(owner);
  control->addTarget(name, events, [weak, call](kit::Control& sender) {
    if (kit::Ref<VeskWebViewController> c = weak.lock()) call(*c, sender);
  });
}

void connectTip(VeskTouchPropagatingUIButton* tip, VeskWebViewController* owner) {
  auto asTip = [](kit::Control& c) { return dynamic_cast<VeskTouchPropagatingUIButton*>(&c); };
  connect(tip, owner, "onTouchBookmarkTip:", kit::Control::TouchDown,
          [asTip](VeskWebViewController& c, kit::Control& s) { c.onTouchBookmarkTip(asTip(s)); });
  connect(tip, owner, "onTouchEndBookmarkTip:", kit::Control::TouchUpInside | kit::Control::TouchUpOutside,
          [asTip](VeskWebViewController& c, kit::Control& s) { c.onTouchEndBookmarkTip(asTip(s)); });
  connect(tip, owner, "onTouchCancelBookmarkTip:", kit::Control::TouchCancel,
          [asTip](VeskWebViewController& c, kit::Control& s) { c.onTouchCancelBookmarkTip(asTip(s)); });
}

// The strip's buttons are plain text on the strip's grey, so each gets a
// rounded backing and a frame as wide as its title.
struct ButtonStyle {
  kit::Font font;
  double padding;  // each side of the title
};

double titleWidth(const ButtonStyle& style, const std::string& title) {
  return std::ceil(kit::TextMeasurement::sizeOfText(title, style.font).width) + 2 * style.padding;
}

kit::Ref<kit::Button> titledButton(kit::InterfaceFile::Context& ctx, View* parent, Rect frame, unsigned mask,
                                   const std::string& title, const ButtonStyle& style) {
  kit::Ref<kit::Button> b = place<kit::Button>(ctx, parent, frame, mask);
  b->setTitle(title);
  b->titleLabel()->setFont(style.font);
  b->setBackgroundColor(kit::Color::rgba(1, 1, 1, 0.12));
  b->layer()->setCornerRadius(6);
  return b;
}

// A trackpad's parts: the disc, the ball in its middle and the disc shown while the pad moves.
void fillTrackPad(kit::InterfaceFile::Context& ctx, VeskTrackPadView* pad) {
  const kit::Rect b = pad->bounds();
  auto part = [&](Rect frame, const char* image) {
    kit::Ref<kit::ImageView> v = place<kit::ImageView>(ctx, pad, frame, FW | FH);
    v->setImage(kit::Image::imageNamed(image));
    v->setContentMode(View::ContentMode::ScaleToFill);
    v->setUserInteractionEnabled(false);
    return v;
  };
  kit::Ref<kit::ImageView> bg = part(b, "trackpad_bg");
  bg->setAlpha(VeskTrackPadView::kIdleAlpha);
  const double ball = std::round(b.width() * 0.3);
  kit::Ref<kit::ImageView> knob = part(Rect((b.width() - ball) / 2, (b.height() - ball) / 2, ball, ball), "trackpad_ball");
  knob->setAutoresizingMask(FL | FR | FT | FB);
  kit::Ref<kit::ImageView> moving = part(b, "trackpad_move");
  moving->setHidden(true);
  pad->setTrackBg(bg);
  pad->setTrackBall(knob);
  pad->setTrackBgMove(moving);
}

}  // namespace

void VeskWebViewControllerBuilder::build(kit::InterfaceFile::Context& ctx, bool pad) {
  auto* c = ctx.ownerAs<VeskWebViewController>();
  const double W = pad ? 1024 : 320;
  const double H = pad ? 748 : 460;
  const double bigStrip = pad ? 150 : 100;  // with screenshots
  const double smallStrip = pad ? 44 : 36;  // titles only

  kit::Ref<View> root = ctx.makeTopLevel<View>(Rect(0, 0, W, H));
  root->setAutoresizingMask(FW | FH);
  root->setBackgroundColor(kit::Color::blackColor());
  if (c) c->setView(root.get());

  // Frame templates of the content area, and the area itself.
  kit::Ref<View> normal = place<View>(ctx, root.get(), Rect(0, 0, W, H - bigStrip), FW | FH);
  kit::Ref<View> full = place<View>(ctx, root.get(), Rect(0, 0, W, H - smallStrip), FW | FH);
  kit::Ref<View> full2 = place<View>(ctx, root.get(), Rect(0, 0, W, H), FW | FH);
  for (View* t : {normal.get(), full.get(), full2.get()}) t->setHidden(true);
  kit::Ref<View> contents = place<View>(ctx, root.get(), normal->frame(), FW | FH);
  contents->setClipsToBounds(true);
  kit::Ref<View> contents2 = place<View>(ctx, root.get(), Rect(W / 2, 0, W / 2, H - bigStrip), FL | FW | FH);
  contents2->setHidden(true);

  // The tab strip at the bottom: the button rows of the two sizes on the
  // left, the strip in the middle, the screen's own buttons on the right.
  kit::Ref<View> stripBg = place<View>(ctx, root.get(), Rect(0, H - bigStrip, W, bigStrip), FW | FT);
  stripBg->setBackgroundColor(kit::Color::darkGrayColor());
  // Titles: words on tablets; on the narrow phone the strip keeps its room
  // with one-glyph titles, except for the two trackpad-related words.
  auto localized = [](const char* key) { return LocalizedText::localized(key); };
  const ButtonStyle style{kit::Font::boldSystemFont(pad ? 13 : 12), pad ? 8.0 : 6.0};
  const std::string tNew = pad ? localized("New") : "+";
  const std::string tSmaller = pad ? localized("Smaller") : "\u25BE";
  const std::string tClose = pad ? localized("Close") : "\u00D7";
  const std::string tLarger = pad ? localized("Larger") : "\u25B4";
  const std::string tPad = localized("Pad");
  const std::string tDual = localized("Dual");
  const std::string tSettings = pad ? localized("Settings") : "\u2699";
  const double gap = 4;
  const double minW = pad ? 44 : 28;
  auto fit = [&](const std::string& t) { return std::max(minW, titleWidth(style, t)); };

  // Left: the large strip's column of three, or the small strip's row of two.
  const double colW = std::max({fit(tNew), fit(tSmaller), fit(tClose)});
  const double rowH = std::floor((bigStrip - 4 * gap) / 3);
  const double smallH = smallStrip - 2 * gap;
  const double smallRowW = fit(tNew) + gap + fit(tLarger);
  const double rowsW = std::max(colW, smallRowW) + 2 * gap;
  // Right: the screen's own buttons in one row that fits the small strip too.
  const double toolsW = fit(tPad) + fit(tDual) + fit(tSettings) + 4 * gap;

  kit::Ref<View> big = place<View>(ctx, stripBg.get(), Rect(0, 0, rowsW, bigStrip), FR | FH);
  kit::Ref<View> small = place<View>(ctx, stripBg.get(), Rect(0, 0, rowsW, smallStrip), FR | FB);
  small->setHidden(true);
  kit::Ref<VeskMultiTabView> strip =
      place<VeskMultiTabView>(ctx, stripBg.get(), Rect(rowsW, 0, W - rowsW - toolsW, bigStrip), FW | FH);

  const double colX = (rowsW - colW) / 2;
  kit::Ref<kit::Button> newPage1 =
      titledButton(ctx, big.get(), Rect(colX, gap, colW, rowH), FB, tNew, style);
  kit::Ref<kit::Button> collapse =
      titledButton(ctx, big.get(), Rect(colX, 2 * gap + rowH, colW, rowH), FT | FB, tSmaller, style);
  collapse->setSelected(true);  // a selected sender asks for the small strip
  kit::Ref<kit::Button> close1 =
      titledButton(ctx, big.get(), Rect(colX, 3 * gap + 2 * rowH, colW, rowH), FT, tClose, style);
  kit::Ref<kit::Button> newPage2 = titledButton(ctx, small.get(), Rect(gap, gap, fit(tNew), smallH), FR, tNew, style);
  kit::Ref<kit::Button> expand = titledButton(
      ctx, small.get(), Rect(2 * gap + fit(tNew), gap, fit(tLarger), smallH), FR, tLarger, style);

  kit::Ref<View> tools = place<View>(ctx, stripBg.get(), Rect(W - toolsW, 0, toolsW, smallStrip), FL | FB);
  double toolX = gap;
  auto tool = [&](const std::string& t) {
    kit::Ref<kit::Button> b = titledButton(ctx, tools.get(), Rect(toolX, gap, fit(t), smallH), FL, t, style);
    toolX += fit(t) + gap;
    return b;
  };
  kit::Ref<kit::Button> trackPadBtn = tool(tPad);
  trackPadBtn->setSelected(true);  // selected while the trackpads are on
  kit::Ref<kit::Button> dualBtn = tool(tDual);
  kit::Ref<kit::Button> settingsBtn = tool(tSettings);

  // Docks: a dial with its pull tab, mostly outside the screen until pulled.
  const double slide = VeskWebViewController::kDockSlide;
  const double tipW = 30;
  const double dockW = slide + tipW;
  // On the phone both pull tabs fit between the page's floating rotation-lock
  // and private buttons and its bottom bar (the docks may overlap, as only
  // their tabs take touches).
  const double dialH = pad ? 300 : 160;
  const double dockY = pad ? 120 : 104;
  kit::Ref<View> dock = place<DockView>(ctx, root.get(), Rect(W - tipW, dockY, dockW, dialH), FL | FT | FB);
  kit::Ref<VeskJogDialView> dial = place<VeskJogDialView>(ctx, dock.get(), Rect(tipW, 0, slide, dialH), FH);
  dial->setUserInteractionEnabled(false);
  kit::Ref<VeskTouchPropagatingUIButton> tip1 =
      place<VeskTouchPropagatingUIButton>(ctx, dock.get(), Rect(0, dialH / 2 - 30, tipW, 60), FT | FB);
  tip1->setTag(0);
  tip1->setImage(kit::Image::imageNamed("dock_tab"));
  tip1->setPropagatingView(dial.get());

  kit::Ref<View> dock2 = place<DockView>(ctx, root.get(), Rect(-slide, dockY, dockW, dialH), FR | FT | FB);
  dock2->setHidden(true);  // shown in dual mode
  kit::Ref<VeskJogDialView> dial2 = place<VeskJogDialView>(ctx, dock2.get(), Rect(0, 0, slide, dialH), FH);
  dial2->setUserInteractionEnabled(false);
  kit::Ref<VeskTouchPropagatingUIButton> tip2 =
      place<VeskTouchPropagatingUIButton>(ctx, dock2.get(), Rect(slide, dialH / 2 - 30, tipW, 60), FT | FB);
  tip2->setTag(1);
  tip2->setImage(kit::Image::imageNamed("dock_tab_left"));
  tip2->setPropagatingView(dial2.get());
  tip2->setHidden(true);

  const double brightH = pad ? 140 : 100;
  kit::Ref<View> brightness =
      place<DockView>(ctx, root.get(), Rect(W - tipW, pad ? dockY + dialH + 20 : 226, dockW, brightH), FL | FT | FB);
  kit::Ref<VeskJogDialView> brightDial =
      place<VeskJogDialView>(ctx, brightness.get(), Rect(tipW, 0, slide, brightH), FH);
  brightDial->setUserInteractionEnabled(false);
  kit::Ref<VeskTouchPropagatingUIButton> tip3 =
      place<VeskTouchPropagatingUIButton>(ctx, brightness.get(), Rect(0, brightH / 2 - 30, tipW, 60), FT | FB);
  tip3->setTag(2);
  tip3->setImage(kit::Image::imageNamed("dock_tab_brightness"));
  tip3->setPropagatingView(brightDial.get());

  // The dial's item label, the info box and the dimming overlay.
  const double labelW = pad ? 400 : 280;
  kit::Ref<View> labelBox = place<View>(ctx, root.get(), Rect((W - labelW) / 2, 40, labelW, 40), FL | FR | FB);
  labelBox->setHidden(true);
  kit::Ref<kit::Label> label = place<kit::Label>(ctx, labelBox.get(), Rect(0, 0, labelW, 40), FW | FH);
  const double boxW = pad ? 240 : 200;
  kit::Ref<VeskInfoBoxView> info =
      place<VeskInfoBoxView>(ctx, root.get(), Rect((W - boxW) / 2, pad ? 220 : 140, boxW, 120), FL | FR | FT | FB);
  // A dark rounded box with the icon above the caption, readable over any page.
  info->setBackgroundColor(kit::Color::withWhite(0, 0.75));
  info->layer()->setCornerRadius(12);
  info->imgView()->setFrame(Rect((boxW - 48) / 2, 14, 48, 48));
  info->imgView()->setContentMode(View::ContentMode::ScaleAspectFit);
  kit::Label* caption = info->label();
  caption->setFrame(Rect(8, 70, boxW - 16, 40));
  caption->setAutoresizingMask(FW);
  caption->setFont(kit::Font::boldSystemFont(16));
  caption->setTextColor(kit::Color::whiteColor());
  caption->setBackgroundColor(kit::Color::clearColor());
  caption->setTextAlignment(kit::TextAlignment::Center);
  caption->setNumberOfLines(2);
  caption->setAdjustsFontSizeToFitWidth(true);
  kit::Ref<View> overlay = place<View>(ctx, root.get(), Rect(0, 0, W, H), FW | FH);
  overlay->setBackgroundColor(kit::Color::blackColor());
  overlay->setAlpha(0);
  overlay->setUserInteractionEnabled(false);
  overlay->setHidden(true);

  // Trackpads: the right one drives the single (or right) pane. They rest
  // above the page's bottom bar, clear of its buttons.
  const double padSize = pad ? 150 : 100;
  const double padY = H - bigStrip - 44 - padSize - 10;
  kit::Ref<VeskTrackPadView> trackPad =
      place<VeskTrackPadView>(ctx, root.get(), Rect(W - padSize - 40, padY, padSize, padSize), FL | FT);
  kit::Ref<VeskTrackPadView> trackPad2 =
      place<VeskTrackPadView>(ctx, root.get(), Rect(40, padY, padSize, padSize), FR | FT);
  trackPad2->setTag(1);
  trackPad2->setHidden(true);
  for (VeskTrackPadView* t : {trackPad.get(), trackPad2.get()}) fillTrackPad(ctx, t);
  root->bringSubviewToFront(overlay.get());  // dims everything, takes no touch

  // Touch areas over the two halves of the status bar (placed in the window later).
  // They show the status bar's black strip, so that a person finds them there.
  kit::Ref<kit::Button> statusLeft = ctx.make<kit::Button>();
  kit::Ref<kit::Button> statusRight = ctx.make<kit::Button>();
  for (kit::Button* b : {statusLeft.get(), statusRight.get()}) b->setBackgroundColor(kit::Color::blackColor());

  strip->setContentsHolder(contents.get());
  strip->setTrackPad(trackPad.get());
  strip->setTrackPad2(trackPad2.get());
  strip->setInfoBox(info.get());

  if (!c) return;
  c->multiTab_ = strip;
  c->multiTabBg_ = stripBg;
  c->contentsHolder_ = contents;
  c->contentsHolder2_ = contents2;
  c->fullContentsHolder_ = full;
  c->fullContentsHolder2_ = full2;
  c->normalContentsHolder_ = normal;
  c->faviLabelContainer_ = labelBox;
  c->faviLabel_ = label;
  c->faviDock_ = dock;
  c->faviDock2_ = dock2;
  c->brightnessDock_ = brightness;
  c->trackPadBtn_ = trackPadBtn;
  c->dualViewBtn_ = dualBtn;
  c->faviDial_ = dial;
  c->faviDial2_ = dial2;
  c->brightnessDial_ = brightDial;
  c->brightnessDelegate_ = kit::make<VeskScreenBrightnessJogDialDelegate>();
  c->brightnessDelegate_->setOverlay(overlay.get());
  c->infoBox_ = info;
  c->faviDockTip1_ = tip1;
  c->faviDockTip2_ = tip2;
  c->brightnessDockTip_ = tip3;
  c->overlay_ = overlay;
  c->bigButtons_ = big;
  c->smallButtons_ = small;
  c->trackPad_ = trackPad;
  c->trackPad2_ = trackPad2;
  c->newPageBtn1_ = newPage1;
  c->newPageBtn2_ = newPage2;
  c->statusBtnLeft_ = statusLeft;
  c->statusBtnRight_ = statusRight;
  dial->setDelegate(c);
  dial2->setDelegate(c);
  brightDial->setDelegate(c->brightnessDelegate_.get());

  for (kit::Button* b : {newPage1.get(), newPage2.get()})
    connect(b, c, "onNewPage:", kit::Control::TouchUpInside,
            [](VeskWebViewController& vc, kit::Control& s) { vc.onNewPage(&s); });
  for (kit::Button* b : {collapse.get(), expand.get()})
    connect(b, c, "onToggleTab:", kit::Control::TouchUpInside,
            [](VeskWebViewController& vc, kit::Control& s) { vc.onToggleTab(dynamic_cast<kit::Button*>(&s)); });
  connect(close1.get(), c, "onClosePage:", kit::Control::TouchUpInside,
          [](VeskWebViewController& vc, kit::Control&) { vc.onClosePage(); });
  connect(trackPadBtn.get(), c, "onToggleTrackPad:", kit::Control::TouchUpInside,
          [](VeskWebViewController& vc, kit::Control&) { vc.onToggleTrackPad(); });
  connect(dualBtn.get(), c, "onDualMode:", kit::Control::TouchUpInside,
          [](VeskWebViewController& vc, kit::Control& s) { vc.onDualMode(dynamic_cast<kit::Button*>(&s)); });
  connect(settingsBtn.get(), c, "onSettings:", kit::Control::TouchUpInside,
          [](VeskWebViewController& vc, kit::Control&) { vc.onSettings(); });
  for (VeskTouchPropagatingUIButton* t : {tip1.get(), tip2.get(), tip3.get()}) connectTip(t, c);
  connect(statusLeft.get(), c, "onStatusBar:", kit::Control::TouchUpInside,
          [](VeskWebViewController& vc, kit::Control&) { vc.onStatusBar(false); });
  connect(statusRight.get(), c, "onStatusBar:", kit::Control::TouchUpInside,
          [](VeskWebViewController& vc, kit::Control&) { vc.onStatusBar(true); });
}

}  // namespace tolva
