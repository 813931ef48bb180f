#include "kit/gtk/ViewWidget.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "kit/gtk/ImageConversion.h"
#include "kit/gtk/MainContextHost.h"
#include "kit/gtk/PangoText.h"
#include "kit/gtk/ViewBox.h"
#include "kit/gtk/WebKitView.h"
#include "kit/gtk/WidgetTree.h"
#include "kit/ui/ActivityIndicatorView.h"
#include "kit/ui/BarButtonItem.h"
#include "kit/ui/Button.h"
#include "kit/ui/GradientLayer.h"
#include "kit/ui/ImageView.h"
#include "kit/ui/Label.h"
#include "kit/ui/Layer.h"
#include "kit/ui/NavigationBar.h"
#include "kit/ui/NavigationItem.h"
#include "kit/ui/PopoverController.h"
#include "kit/ui/ProgressView.h"
#include "kit/ui/Slider.h"
#include "kit/ui/Switch.h"
#include "kit/ui/TableViewCell.h"
#include "kit/ui/TextField.h"
#include "kit/ui/TextMeasurement.h"
#include "kit/ui/TextView.h"
#include "kit/ui/Toolbar.h"
#include "kit/ui/Utf16.h"
#include "kit/ui/Window.h"

namespace kit::gtk {
namespace {

// A captureless lambda as a signal handler.
template <class F>
GCallback callback(F f) {
  return reinterpret_cast<GCallback>(+f);
}

// How far a view is turned on screen: its own rotation and its ancestors'.
double turnOf(const View& v) {
  double angle = 0;
  for (const View* cur = &v; cur; cur = cur->superview())
    if (const AffineTransform& t = cur->transform(); !t.isIdentity()) angle += std::atan2(t.b, t.a);
  return angle;
}

// How strongly what a disabled control shows is drawn, as on the platform.
constexpr double kDisabledAlpha = 0.45;

// Whether a disabled button shows its normal look (and so is drawn dimmed):
// it has no title colour or image of its own for the disabled state.
bool dimmedWhenDisabled(const Button& b) {
  if (b.isEnabled()) return false;
  return b.titleColorForState(Control::Disabled) == b.titleColorForState(Control::Normal) &&
         b.imageForState(Control::Disabled) == b.imageForState(Control::Normal);
}

constexpr const char* kBindingKey = "kit-binding";
constexpr const char* kRootViewKey = "kit-root-view";

int px(double v) { return static_cast<int>(std::lround(v)); }

void setSource(cairo_t* cr, const Color& c, double alpha = 1) {
  cairo_set_source_rgba(cr, c.red, c.green, c.blue, c.alpha * alpha);
}

void roundedRect(cairo_t* cr, double x, double y, double w, double h, double r) {
  r = std::min({r, w / 2, h / 2});
  if (r <= 0) {
    cairo_rectangle(cr, x, y, w, h);
    return;
  }
  cairo_new_sub_path(cr);
  cairo_arc(cr, x + w - r, y + r, r, -M_PI / 2, 0);
  cairo_arc(cr, x + w - r, y + h - r, r, 0, M_PI / 2);
  cairo_arc(cr, x + r, y + h - r, r, M_PI / 2, M_PI);
  cairo_arc(cr, x + r, y + r, r, M_PI, 3 * M_PI / 2);
  cairo_close_path(cr);
}

PangoAttrList* textAttributes(const Font& font, const Color& color) {
  PangoAttrList* attrs = pango_attr_list_new();
  PangoFontDescription* d = PangoText::describe(font);
  pango_attr_list_insert(attrs, pango_attr_font_desc_new(d));
  pango_font_description_free(d);
  auto channel = [](double v) { return static_cast<guint16>(std::clamp(v, 0.0, 1.0) * 65535); };
  pango_attr_list_insert(attrs, pango_attr_foreground_new(channel(color.red), channel(color.green), channel(color.blue)));
  pango_attr_list_insert(attrs, pango_attr_foreground_alpha_new(std::max<guint16>(channel(color.alpha), 1)));
  return attrs;
}

float xalign(TextAlignment a) {
  switch (a) {
    case TextAlignment::Left:
      return 0;
    case TextAlignment::Center:
      return 0.5f;
    case TextAlignment::Right:
      return 1;
  }
  return 0;
}

void addClass(GtkWidget* w, const char* cls) { gtk_style_context_add_class(gtk_widget_get_style_context(w), cls); }

void setClass(GtkWidget* w, const char* cls, bool on) {
  GtkStyleContext* sc = gtk_widget_get_style_context(w);
  if (on)
    gtk_style_context_add_class(sc, cls);
  else
    gtk_style_context_remove_class(sc, cls);
}

GtkWidget* imageWidget(Image* image, GtkWidget* reuse) {
  GtkWidget* w = reuse ? reuse : gtk_image_new();
  if (image && image->hasPixels()) {
    GdkPixbuf* pb = ImageConversion::toPixbuf(*image);
    if (image->scale() != 1 && image->size().width >= 1 && image->size().height >= 1) {
      GdkPixbuf* scaled = gdk_pixbuf_scale_simple(pb, px(image->size().width), px(image->size().height),
                                                  GDK_INTERP_BILINEAR);
      g_object_unref(pb);
      pb = scaled;
    }
    gtk_image_set_from_pixbuf(GTK_IMAGE(w), pb);
    g_object_unref(pb);
    gtk_widget_show(w);
  } else {
    gtk_image_clear(GTK_IMAGE(w));
    gtk_widget_hide(w);
  }
  return w;
}

// The activity indicator: twelve spokes drawn here in the text colour, the
// brightest one stepping round while it spins; nothing while stopped. (The
// theme's spinner decodes a vector icon, which loads a whole vector renderer
// into the process for one small picture.)
constexpr const char* kSpinTick = "kit-spin-tick";
constexpr const char* kSpinStep = "kit-spin-step";
constexpr gint64 kSpinStepMicroseconds = 1000000 / 12;

int spinStep() { return static_cast<int>((g_get_monotonic_time() / kSpinStepMicroseconds) % 12); }

GtkWidget* spinnerWidget() {
  GtkWidget* w = gtk_drawing_area_new();
  g_signal_connect(w, "draw", callback([](GtkWidget* area, cairo_t* cr, gpointer) -> gboolean {
                     if (!g_object_get_data(G_OBJECT(area), kSpinTick)) return FALSE;
                     const double width = gtk_widget_get_allocated_width(area);
                     const double height = gtk_widget_get_allocated_height(area);
                     const double r = std::min(width, height) / 2;
                     if (r < 2) return FALSE;
                     GdkRGBA c;
                     gtk_style_context_get_color(gtk_widget_get_style_context(area), gtk_widget_get_state_flags(area),
                                                 &c);
                     const int step = spinStep();
                     cairo_translate(cr, width / 2, height / 2);
                     cairo_set_line_width(cr, std::max(1.5, r / 5));
                     cairo_set_line_cap(cr, CAIRO_LINE_CAP_ROUND);
                     for (int i = 0; i < 12; ++i) {
                       const double angle = i * M_PI / 6;
                       const int age = (step - i + 12) % 12;  // 0: the brightest
                       cairo_set_source_rgba(cr, c.red, c.green, c.blue, c.alpha * (1 - age / 12.0));
                       cairo_move_to(cr, 0.45 * r * std::cos(angle), 0.45 * r * std::sin(angle));
                       cairo_line_to(cr, 0.9 * r * std::cos(angle), 0.9 * r * std::sin(angle));
                       cairo_stroke(cr);
                     }
                     return FALSE;
                   }),
                   nullptr);
  return w;
}

void setSpinning(GtkWidget* w, bool on) {
  const guint tick = GPOINTER_TO_UINT(g_object_get_data(G_OBJECT(w), kSpinTick));
  if (on == (tick != 0)) return;
  if (on) {
    const guint id = gtk_widget_add_tick_callback(
        w,
        [](GtkWidget* area, GdkFrameClock*, gpointer) -> gboolean {
          // Redrawn only when the bright spoke moves on.
          const int step = spinStep();
          if (GPOINTER_TO_INT(g_object_get_data(G_OBJECT(area), kSpinStep)) != step + 1) {
            g_object_set_data(G_OBJECT(area), kSpinStep, GINT_TO_POINTER(step + 1));
            gtk_widget_queue_draw(area);
          }
          return G_SOURCE_CONTINUE;
        },
        nullptr, nullptr);
    g_object_set_data(G_OBJECT(w), kSpinTick, GUINT_TO_POINTER(id));
  } else {
    gtk_widget_remove_tick_callback(w, tick);
    g_object_set_data(G_OBJECT(w), kSpinTick, nullptr);
  }
  gtk_widget_queue_draw(w);
}

// The icon a system bar item shows (empty: it shows a word instead).
const char* systemIcon(BarButtonItem::SystemItem item) {
  using S = BarButtonItem::SystemItem;
  switch (item) {
    case S::Add: return "list-add-symbolic";
    case S::Compose: return "document-edit-symbolic";
    case S::Reply: return "mail-reply-sender-symbolic";
    case S::Action: return "document-send-symbolic";
    case S::Organize: return "folder-symbolic";
    case S::Bookmarks: return "user-bookmarks-symbolic";
    case S::Search: return "edit-find-symbolic";
    case S::Refresh: return "view-refresh-symbolic";
    case S::Stop: return "process-stop-symbolic";
    case S::Camera: return "camera-photo-symbolic";
    case S::Trash: return "user-trash-symbolic";
    case S::Play: return "media-playback-start-symbolic";
    case S::Pause: return "media-playback-pause-symbolic";
    case S::Rewind: return "media-seek-backward-symbolic";
    case S::FastForward: return "media-seek-forward-symbolic";
    case S::Undo: return "edit-undo-symbolic";
    case S::Redo: return "edit-redo-symbolic";
    case S::PageCurl: return "view-paged-symbolic";
    default: return "";
  }
}

const char* systemTitle(BarButtonItem::SystemItem item) {
  using S = BarButtonItem::SystemItem;
  switch (item) {
    case S::Done: return "Done";
    case S::Cancel: return "Cancel";
    case S::Edit: return "Edit";
    case S::Save: return "Save";
    default: return "";
  }
}

// The UTF-16 offset of character `chars` of `text`.
size_t utf16At(const char* text, gint chars) {
  const char* end = g_utf8_offset_to_pointer(text, std::max(chars, 0));
  return utf16Length(std::string_view(text, size_t(end - text)));
}

void paintBar(cairo_t* cr, int w, int h, BarStyle style, const std::optional<Color>& tint) {
  Color top, bottom;
  if (tint) {
    top = {std::min(1.0, tint->red + 0.25), std::min(1.0, tint->green + 0.25), std::min(1.0, tint->blue + 0.25), 1};
    bottom = tint->withAlpha(1);
  } else if (style == BarStyle::Default) {
    top = Color::rgba(0.69, 0.74, 0.80);
    bottom = Color::rgba(0.43, 0.52, 0.64);
  } else {
    top = Color::rgba(0.25, 0.25, 0.25);
    bottom = Color::rgba(0.05, 0.05, 0.05);
  }
  cairo_pattern_t* g = cairo_pattern_create_linear(0, 0, 0, h);
  cairo_pattern_add_color_stop_rgb(g, 0, top.red, top.green, top.blue);
  cairo_pattern_add_color_stop_rgb(g, 1, bottom.red, bottom.green, bottom.blue);
  cairo_rectangle(cr, 0, 0, w, h);
  cairo_set_source(cr, g);
  cairo_fill(cr);
  cairo_pattern_destroy(g);
  cairo_set_source_rgba(cr, 0, 0, 0, 0.35);
  cairo_rectangle(cr, 0, h - 1, w, 1);
  cairo_fill(cr);
}

// A cell's mark of two strokes through three points: a chevron or a tick.
void strokeMark(cairo_t* cr, const Color& color, Point p1, Point p2, Point p3) {
  setSource(cr, color);
  cairo_set_line_width(cr, 2.5);
  cairo_move_to(cr, p1.x, p1.y);
  cairo_line_to(cr, p2.x, p2.y);
  cairo_line_to(cr, p3.x, p3.y);
  cairo_stroke(cr);
}

// The marks a table cell draws itself: the editing control on the left
// (a red disc with a bar to delete, a green one with a cross to insert) and
// the standard accessory on the right.
void paintCellMarks(cairo_t* cr, const TableViewCell& cell, double height) {
  const double mid = height / 2;
  if (cell.isEditing() && cell.editingStyle() != TableViewCell::EditingStyle::None) {
    const bool del = cell.editingStyle() == TableViewCell::EditingStyle::Delete;
    const double cx = TableViewCell::kEditingControlWidth / 2 + 2, r = 10;
    cairo_arc(cr, cx, mid, r, 0, 2 * M_PI);
    if (del)
      cairo_set_source_rgb(cr, 0.86, 0.16, 0.14);
    else
      cairo_set_source_rgb(cr, 0.20, 0.66, 0.26);
    cairo_fill_preserve(cr);
    cairo_set_source_rgb(cr, 1, 1, 1);
    cairo_set_line_width(cr, 1.5);
    cairo_stroke(cr);
    cairo_set_line_width(cr, 3);
    cairo_move_to(cr, cx - 5.5, mid);
    cairo_line_to(cr, cx + 5.5, mid);
    if (!del) {
      cairo_move_to(cr, cx, mid - 5.5);
      cairo_line_to(cr, cx, mid + 5.5);
    }
    cairo_stroke(cr);
  }
  if (cell.currentAccessoryView()) return;
  const Rect a = cell.accessoryFrame();
  if (a.isEmpty()) return;
  const double cx = a.x() + a.width() / 2;
  cairo_set_line_cap(cr, CAIRO_LINE_CAP_ROUND);
  cairo_set_line_join(cr, CAIRO_LINE_JOIN_ROUND);
  switch (cell.currentAccessoryType()) {
    case TableViewCell::AccessoryType::DisclosureIndicator:
      strokeMark(cr, Color::rgba(0.55, 0.55, 0.58), {cx - 3, mid - 6}, {cx + 3, mid}, {cx - 3, mid + 6});
      break;
    case TableViewCell::AccessoryType::Checkmark:
      strokeMark(cr, Color::rgba(0.2, 0.31, 0.52), {cx - 6, mid}, {cx - 2, mid + 5}, {cx + 6, mid - 6});
      break;
    case TableViewCell::AccessoryType::DetailDisclosureButton:
      cairo_arc(cr, cx, mid, 11, 0, 2 * M_PI);
      cairo_set_source_rgb(cr, 0.16, 0.42, 0.86);
      cairo_fill(cr);
      strokeMark(cr, Color::whiteColor(), {cx - 2, mid - 5}, {cx + 3, mid}, {cx - 2, mid + 5});
      break;
    default:
      break;
  }
}

// How many lines of `font` a frame `height` high holds (-1: no limit, when
// the font cannot be measured).
int linesThatFit(const Font& font, double height) {
  const double line = TextMeasurement::sizeOfText("X", font).height;
  return line > 0 ? std::max(1, static_cast<int>(height / line)) : -1;
}

}  // namespace

// ---------------------------------------------------------------- life

ViewWidget::ViewWidget(WidgetTree& tree, View& view, ViewWidget* parent)
    : tree_(tree), view_(&view), parent_(parent) {
  box_ = ViewBox::create();
  g_object_ref_sink(box_);
  g_object_set_data(G_OBJECT(box_), kBindingKey, this);
  ViewBox::setPainter(box_, [this](cairo_t* cr, int w, int h) { paint(cr, w, h); });
  if (dynamic_cast<Window*>(&view) || dynamic_cast<PopoverView*>(&view))
    g_object_set_data(G_OBJECT(box_), kRootViewKey, &view);
  makeContent();
  if (content_) {
    g_object_set_data(G_OBJECT(content_), kBindingKey, this);
    ViewBox::place(box_, content_, 0, 0, px(view.bounds().width()), px(view.bounds().height()));
    gtk_widget_show(content_);
  }
  if (kind_ == Kind::Bar) {
    extras_ = gtk_fixed_new();
    ViewBox::place(box_, extras_, 0, 0, px(view.bounds().width()), px(view.bounds().height()));
    gtk_widget_show(extras_);
  }
  syncAll();
}

ViewWidget::~ViewWidget() {
  // Out of the tree before any GTK teardown: what that teardown sets off
  // (focus leaving a field) must find neither this binding nor its
  // half-destroyed children.
  tree_.forget(view_.get(), this);
  std::vector<std::unique_ptr<ViewWidget>> children;
  children.swap(children_);
  children.clear();
  if (content_ && borrowedContent_ && gtk_widget_get_parent(content_) == box_)
    gtk_container_remove(GTK_CONTAINER(box_), content_);
  g_object_set_data(G_OBJECT(box_), kBindingKey, nullptr);
  if (popover_) {
    gtk_widget_destroy(popover_);
    popover_ = nullptr;
  }
  if (textShadow_) g_object_unref(textShadow_);
  gtk_widget_destroy(box_);
  g_object_unref(box_);
  tree_.releaseLater(std::move(view_));
}

ViewWidget* ViewWidget::containing(GtkWidget* widget) {
  for (GtkWidget* w = widget; w; w = gtk_widget_get_parent(w))
    if (auto* b = static_cast<ViewWidget*>(g_object_get_data(G_OBJECT(w), kBindingKey))) return b;
  return nullptr;
}

View* ViewWidget::rootViewOf(GtkWidget* box) {
  return box ? static_cast<View*>(g_object_get_data(G_OBJECT(box), kRootViewKey)) : nullptr;
}

// ---------------------------------------------------------------- content

void ViewWidget::makeContent() {
  View& v = *view_;
  if (auto* web = dynamic_cast<WebKitView*>(&v)) {
    kind_ = Kind::WebView;
    content_ = web->webWidget();
    borrowedContent_ = true;
  } else if (auto* tf = dynamic_cast<TextField*>(&v)) {
    kind_ = Kind::TextField;
    content_ = gtk_entry_new();
    addClass(content_, "kit-control");
    g_signal_connect(content_, "insert-text",
                     callback([](GtkEditable* e, const gchar* text, gint length, gint* position, gpointer self) {
                       auto* b = static_cast<ViewWidget*>(self);
                       if (b->syncing_) return;
                       g_signal_stop_emission_by_name(e, "insert-text");
                       const std::string piece(text, length < 0 ? std::strlen(text) : size_t(length));
                       const gint at = *position;
                       Ref<TextField> field(static_cast<TextField*>(&b->view()));
                       Range r{utf16At(gtk_entry_get_text(GTK_ENTRY(e)), at), 0};
                       MainContextHost::deliver([field, r, piece] { field->replaceText(r, piece); });
                       // GTK puts the cursor where this says the insertion ended.
                       *position = at + static_cast<gint>(g_utf8_strlen(piece.c_str(), -1));
                       gtk_editable_set_position(e, *position);
                     }),
                     this);
    g_signal_connect(content_, "delete-text", callback([](GtkEditable* e, gint start, gint end, gpointer self) {
                       auto* b = static_cast<ViewWidget*>(self);
                       if (b->syncing_) return;
                       g_signal_stop_emission_by_name(e, "delete-text");
                       const char* text = gtk_entry_get_text(GTK_ENTRY(e));
                       if (end < 0) end = static_cast<gint>(g_utf8_strlen(text, -1));
                       const size_t from = utf16At(text, start), to = utf16At(text, end);
                       Ref<TextField> field(static_cast<TextField*>(&b->view()));
                       MainContextHost::deliver([field, from, to] { field->replaceText({from, to - from}, ""); });
                       gtk_editable_set_position(e, start);
                     }),
                     this);
    g_signal_connect(content_, "activate", callback([](GtkEntry*, gpointer self) {
                       Ref<TextField> field(static_cast<TextField*>(&static_cast<ViewWidget*>(self)->view()));
                       MainContextHost::deliver([field] { field->pressReturn(); });
                     }),
                     this);
    g_signal_connect(content_, "icon-press",
                     callback([](GtkEntry*, GtkEntryIconPosition, GdkEvent*, gpointer self) {
                       Ref<TextField> field(static_cast<TextField*>(&static_cast<ViewWidget*>(self)->view()));
                       MainContextHost::deliver([field] { field->tapClearButton(); });
                     }),
                     this);
    (void)tf;
  } else if (dynamic_cast<TextView*>(&v)) {
    kind_ = Kind::TextView;
    content_ = gtk_text_view_new();
    gtk_text_view_set_wrap_mode(GTK_TEXT_VIEW(content_), GTK_WRAP_WORD_CHAR);
    g_signal_connect(gtk_text_view_get_buffer(GTK_TEXT_VIEW(content_)), "changed",
                     callback([](GtkTextBuffer* buffer, gpointer self) {
                       auto* b = static_cast<ViewWidget*>(self);
                       if (b->syncing_) return;
                       GtkTextIter s, e;
                       gtk_text_buffer_get_bounds(buffer, &s, &e);
                       gchar* text = gtk_text_buffer_get_text(buffer, &s, &e, FALSE);
                       std::string now(text);
                       g_free(text);
                       Ref<TextView> tv(static_cast<TextView*>(&b->view()));
                       MainContextHost::deliver([tv, now] {
                         if (tv->text() != now) tv->replaceText({0, utf16Length(tv->text())}, now);
                       });
                     }),
                     this);
  } else if (dynamic_cast<Switch*>(&v)) {
    kind_ = Kind::Switch;
    content_ = gtk_switch_new();
    // kit flips the switch from the touch; GTK must not flip it as well.
    g_object_set_data(G_OBJECT(content_), "kit-swallow-pointer", GINT_TO_POINTER(1));
  } else if (auto* sl = dynamic_cast<Slider*>(&v)) {
    kind_ = Kind::Slider;
    content_ = gtk_scale_new_with_range(GTK_ORIENTATION_HORIZONTAL, 0, 1, 0.001);
    gtk_scale_set_draw_value(GTK_SCALE(content_), FALSE);
    g_signal_connect(content_, "value-changed", callback([](GtkRange* range, gpointer self) {
                       auto* b = static_cast<ViewWidget*>(self);
                       if (b->syncing_) return;
                       Ref<Slider> slider(static_cast<Slider*>(&b->view()));
                       const double value = gtk_range_get_value(range);
                       MainContextHost::deliver([slider, value] { slider->dragThumbTo(value); });
                     }),
                     this);
    (void)sl;
  } else if (dynamic_cast<Button*>(&v)) {
    kind_ = Kind::Button;
    content_ = gtk_button_new();
    addClass(content_, "kit-control");
    gtk_widget_set_focus_on_click(content_, FALSE);
    GtkWidget* inner = gtk_box_new(GTK_ORIENTATION_HORIZONTAL, 4);
    image_ = gtk_image_new();
    label_ = gtk_label_new("");
    gtk_label_set_ellipsize(GTK_LABEL(label_), PANGO_ELLIPSIZE_END);
    gtk_box_pack_start(GTK_BOX(inner), image_, FALSE, FALSE, 0);
    gtk_box_pack_start(GTK_BOX(inner), label_, TRUE, TRUE, 0);
    gtk_container_add(GTK_CONTAINER(content_), inner);
    gtk_widget_show_all(inner);
  } else if (dynamic_cast<Label*>(&v)) {
    kind_ = Kind::Label;
    content_ = gtk_label_new("");
    gtk_label_set_yalign(GTK_LABEL(content_), 0.5f);
  } else if (dynamic_cast<ImageView*>(&v)) {
    kind_ = Kind::ImageView;
    content_ = gtk_drawing_area_new();
    g_signal_connect(content_, "draw", callback([](GtkWidget* w, cairo_t* cr, gpointer self) -> gboolean {
                       auto* b = static_cast<ViewWidget*>(self);
                       auto& iv = static_cast<ImageView&>(b->view());
                       if (Image* img = iv.currentImage()) {
                         const double width = gtk_widget_get_allocated_width(w);
                         const double height = gtk_widget_get_allocated_height(w);
                         // A turned picture (a dial's disc and what it carries) turns about its middle.
                         const double angle = turnOf(iv);
                         cairo_save(cr);
                         if (angle != 0) {
                           cairo_translate(cr, width / 2, height / 2);
                           cairo_rotate(cr, angle);
                           cairo_translate(cr, -width / 2, -height / 2);
                         }
                         paintImage(cr, *img, iv.contentMode(), width, height);
                         cairo_restore(cr);
                       }
                       return FALSE;
                     }),
                     this);
  } else if (dynamic_cast<ProgressView*>(&v)) {
    kind_ = Kind::Progress;
    content_ = gtk_progress_bar_new();
  } else if (dynamic_cast<ActivityIndicatorView*>(&v)) {
    kind_ = Kind::Activity;
    content_ = spinnerWidget();
  } else if (dynamic_cast<Toolbar*>(&v) || dynamic_cast<NavigationBar*>(&v)) {
    kind_ = Kind::Bar;
  }
}

// ---------------------------------------------------------------- children

std::vector<View*> ViewWidget::wantedChildren() const {
  std::vector<View*> out;
  for (const auto& s : view_->subviews()) {
    // Alerts and sheets are shown as dialogs.
    if (s->className() == "AlertView" || s->className() == "ActionSheet") continue;
    out.push_back(s.get());
  }
  if (kind_ == Kind::TextField) {
    auto& tf = static_cast<TextField&>(*view_);
    if (tf.leftView() && tf.leftView()->superview() == nullptr) out.push_back(tf.leftView());
    if (tf.rightView() && tf.rightView()->superview() == nullptr) out.push_back(tf.rightView());
  }
  return out;
}

Rect ViewWidget::childRect(const View& child) const {
  const Rect b = view_->bounds();
  if (kind_ == Kind::TextField && child.superview() != view_.get()) {
    auto& tf = static_cast<TextField&>(*view_);
    const Size s = child.frame().size;
    const double y = (b.height() - s.height) / 2;
    if (&child == tf.leftView()) return {0, y, s.width, s.height};
    return {b.width() - s.width, y, s.width, s.height};
  }
  // A turned view keeps its own size about its centre (not the box around
  // it); inside a turned view, the centre turns with it.
  const AffineTransform& own = child.transform();
  const AffineTransform& mine = view_->transform();
  if (own.isIdentity() && mine.isIdentity()) {
    const Rect f = child.frame();
    return {f.x() - b.x(), f.y() - b.y(), f.width(), f.height()};
  }
  const Size size = child.bounds().size;
  Point c{child.center().x - b.x(), child.center().y - b.y()};
  if (!mine.isIdentity()) {
    const Point mid{b.width() / 2, b.height() / 2};
    const Point turned = mine.apply(Point{c.x - mid.x, c.y - mid.y});
    c = {mid.x + turned.x, mid.y + turned.y};
  }
  return {c.x - size.width / 2, c.y - size.height / 2, size.width, size.height};
}

void ViewWidget::placeChild(ViewWidget& child) {
  if (dynamic_cast<PopoverView*>(&child.view()) && dynamic_cast<Window*>(view_.get())) {
    placeInPopover(child);
    return;
  }
  const Rect r = childRect(child.view());
  const int x = px(r.x()), y = px(r.y());
  const int w = px(r.maxX()) - x, h = px(r.maxY()) - y;
  ViewBox::place(box_, child.box_, x, y, w, h);
  child.syncVisibility();
}

void ViewWidget::placeInPopover(ViewWidget& child) {
  auto& panel = static_cast<PopoverView&>(child.view());
  PopoverController* controller = panel.popoverController();
  const Rect f = panel.frame();
  gtk_widget_set_size_request(child.box_, std::max(px(f.width()), 1), std::max(px(f.height()), 1));
  if (!child.popover_) {
    child.popover_ = gtk_popover_new(box_);
    gtk_widget_add_events(child.popover_, GDK_SCROLL_MASK | GDK_SMOOTH_SCROLL_MASK);
    gtk_popover_set_modal(GTK_POPOVER(child.popover_), TRUE);
    gtk_container_add(GTK_CONTAINER(child.popover_), child.box_);
    g_signal_connect(child.popover_, "closed", callback([](GtkPopover* p, gpointer self) {
                       auto* b = static_cast<ViewWidget*>(self);
                       Ref<View> panelView(&b->view());
                       GtkWidget* pw = GTK_WIDGET(p);
                       g_object_ref(pw);
                       MainContextHost::deliver([panelView, pw] {
                         auto* pv = static_cast<PopoverView*>(panelView.get());
                         if (PopoverController* c = pv->popoverController(); c && c->isPopoverVisible()) {
                           Ref<PopoverController> keep(c);
                           c->tapOutside(nullptr);
                           if (c->isPopoverVisible() && gtk_widget_get_parent(gtk_bin_get_child(GTK_BIN(pw))))
                             gtk_widget_show(pw);
                         }
                         g_object_unref(pw);
                       });
                     }),
                     &child);
  }
  if (controller) {
    const Rect a = controller->anchorRect();
    GdkRectangle rect{px(a.x()), px(a.y()), std::max(px(a.width()), 1), std::max(px(a.height()), 1)};
    gtk_popover_set_pointing_to(GTK_POPOVER(child.popover_), &rect);
    GtkPositionType pos = GTK_POS_BOTTOM;
    switch (controller->popoverArrowDirection()) {
      case PopoverArrowDown: pos = GTK_POS_TOP; break;
      case PopoverArrowLeft: pos = GTK_POS_RIGHT; break;
      case PopoverArrowRight: pos = GTK_POS_LEFT; break;
      default: break;
    }
    gtk_popover_set_position(GTK_POPOVER(child.popover_), pos);
  }
  // A popover that leaves views touchable (a suggestion list under the field
  // being typed in) must not take the keyboard from them.
  const bool passthrough = controller && !controller->passthroughViews().empty();
  gtk_popover_set_modal(GTK_POPOVER(child.popover_), passthrough ? FALSE : TRUE);
  gtk_widget_show(child.box_);
  if (!panel.isHidden() && !gtk_widget_get_visible(child.popover_)) {
    GtkWidget* toplevel = gtk_widget_get_toplevel(box_);
    GtkWidget* focus = GTK_IS_WINDOW(toplevel) ? gtk_window_get_focus(GTK_WINDOW(toplevel)) : nullptr;
    // Shown at once: GTK's fade and slide in can stop part way on a busy
    // main loop, leaving the popover see-through and off its place.
    gtk_widget_show(child.popover_);
    if (passthrough && focus) {
      if (GTK_IS_ENTRY(focus))
        gtk_entry_grab_focus_without_selecting(GTK_ENTRY(focus));
      else
        gtk_widget_grab_focus(focus);
    }
  }
}

// ---------------------------------------------------------------- syncing

void ViewWidget::changed(ViewChange change) {
  switch (change) {
    case ViewChange::Frame:
      syncFrame();
      break;
    case ViewChange::Hidden:
      syncVisibility();
      break;
    case ViewChange::Alpha:
      gtk_widget_set_opacity(box_, std::clamp(view_->alpha(), 0.0, 1.0));
      break;
    case ViewChange::BackgroundColor:
    case ViewChange::Layer:
    case ViewChange::Appearance:
      syncAppearance();
      break;
    case ViewChange::Content:
      syncContent();
      break;
    case ViewChange::State:
      syncState();
      break;
    default:
      break;
  }
}

void ViewWidget::syncAll() {
  gtk_widget_set_opacity(box_, std::clamp(view_->alpha(), 0.0, 1.0));
  syncAppearance();
  syncContent();
  syncState();
  syncFrame();
}

// A label of any number of lines that truncates shows as many as its frame
// holds: GTK would cut it to one line a paragraph.
void ViewWidget::syncLabelLines() {
  auto& l = static_cast<Label&>(*view_);
  int lines = l.numberOfLines() > 0 ? l.numberOfLines() : -1;
  if (lines < 0 && gtk_label_get_ellipsize(GTK_LABEL(content_)) != PANGO_ELLIPSIZE_NONE)
    lines = linesThatFit(l.font(), l.bounds().height());
  if (gtk_label_get_lines(GTK_LABEL(content_)) != lines) gtk_label_set_lines(GTK_LABEL(content_), lines);
}

// A button's title of more than one line wraps as a label would (with no
// limit, as many lines as the button is high for).
void ViewWidget::syncTitleLines() {
  if (!label_) return;
  const Label& t = *static_cast<Button&>(*view_).titleLabel();
  const int lines = t.numberOfLines() > 0 ? t.numberOfLines() : linesThatFit(t.font(), view_->bounds().height());
  if (gtk_label_get_lines(GTK_LABEL(label_)) == lines && gtk_label_get_line_wrap(GTK_LABEL(label_)) == (lines != 1))
    return;
  gtk_label_set_line_wrap(GTK_LABEL(label_), lines != 1);
  gtk_label_set_line_wrap_mode(GTK_LABEL(label_), PANGO_WRAP_WORD_CHAR);
  gtk_label_set_lines(GTK_LABEL(label_), lines);
}

void ViewWidget::syncFrame() {
  if (kind_ == Kind::Label) syncLabelLines();
  if (kind_ == Kind::Button) syncTitleLines();
  if (parent_) parent_->placeChild(*this);
  const Rect b = view_->bounds();
  if (content_) ViewBox::place(box_, content_, 0, 0, px(b.width()), px(b.height()));
  if (extras_) {
    ViewBox::place(box_, extras_, 0, 0, px(b.width()), px(b.height()));
    syncBarItems();
  }
  for (auto& c : children_) placeChild(*c);
  if (parent_ && castsShadow_) gtk_widget_queue_draw(parent_->box_);  // the shadow moves along
  if (!view_->transform().isIdentity() || turned_) gtk_widget_queue_draw(box_);  // turned pictures redraw
  turned_ = !view_->transform().isIdentity();
}

void ViewWidget::syncVisibility() {
  const Size s = view_->frame().size;
  const bool visible = !view_->isHidden() && (popover_ || (s.width > 0 && s.height > 0));
  gtk_widget_set_visible(box_, visible);
  if (parent_ && castsShadow_) gtk_widget_queue_draw(parent_->box_);
  if (popover_ && !visible) gtk_widget_hide(popover_);
}

void ViewWidget::syncAppearance() {
  // Scroll views show only their visible part; a bar cuts off items it has no room for.
  ViewBox::setClips(box_, view_->clipsToBounds() || view_->layer()->masksToBounds() || kind_ == Kind::Bar ||
                              dynamic_cast<ScrollView*>(view_.get()) != nullptr);
  gtk_widget_queue_draw(box_);
  const bool casts = view_->layer()->shadowOpacity() > 0;
  if (parent_ && (casts || castsShadow_)) gtk_widget_queue_draw(parent_->box_);
  castsShadow_ = casts;
  if (kind_ == Kind::Label) syncTextShadow();
  if (kind_ == Kind::TextField) {
    auto& tf = static_cast<TextField&>(*view_);
    const bool bare = tf.borderStyle() == TextField::BorderStyle::None || tf.background();
    setClass(content_, "kit-borderless", bare);
    gtk_entry_set_has_frame(GTK_ENTRY(content_), !bare);
  }
}

void ViewWidget::syncContent() {
  syncing_ = true;
  View& v = *view_;
  switch (kind_) {
    case Kind::Label: {
      auto& l = static_cast<Label&>(v);
      GtkLabel* gl = GTK_LABEL(content_);
      if (std::strcmp(gtk_label_get_text(gl), l.text().c_str()) != 0) gtk_label_set_text(gl, l.text().c_str());
      Color color = l.isHighlighted() && l.highlightedTextColor() ? *l.highlightedTextColor() : l.textColor();
      if (!l.isEnabled()) color = color.withAlpha(color.alpha * kDisabledAlpha);
      PangoAttrList* attrs = textAttributes(l.font().withSize(l.effectiveFontSize()), color);
      gtk_label_set_attributes(gl, attrs);
      pango_attr_list_unref(attrs);
      gtk_label_set_xalign(gl, xalign(l.textAlignment()));
      gtk_label_set_justify(gl, l.textAlignment() == TextAlignment::Center  ? GTK_JUSTIFY_CENTER
                                : l.textAlignment() == TextAlignment::Right ? GTK_JUSTIFY_RIGHT
                                                                            : GTK_JUSTIFY_LEFT);
      PangoEllipsizeMode ellipsize = PANGO_ELLIPSIZE_NONE;
      switch (l.lineBreakMode()) {
        case LineBreakMode::HeadTruncation: ellipsize = PANGO_ELLIPSIZE_START; break;
        case LineBreakMode::TailTruncation: ellipsize = PANGO_ELLIPSIZE_END; break;
        case LineBreakMode::MiddleTruncation: ellipsize = PANGO_ELLIPSIZE_MIDDLE; break;
        default: break;
      }
      const bool single = l.numberOfLines() == 1;
      gtk_label_set_single_line_mode(gl, single);
      gtk_label_set_line_wrap(gl, !single);
      gtk_label_set_line_wrap_mode(gl, l.lineBreakMode() == LineBreakMode::CharacterWrap ? PANGO_WRAP_CHAR
                                                                                          : PANGO_WRAP_WORD_CHAR);
      gtk_label_set_ellipsize(gl, ellipsize);
      syncLabelLines();
      break;
    }
    case Kind::Button: {
      auto& b = static_cast<Button&>(v);
      setClass(content_, "kit-custom", b.buttonType() == Button::Type::Custom);
      imageWidget(b.currentImage(), image_);
      const std::string title = b.currentTitle();
      gtk_label_set_text(GTK_LABEL(label_), title.c_str());
      gtk_widget_set_visible(label_, !title.empty());
      Color fallback = b.buttonType() == Button::Type::Custom ? Color::whiteColor() : Color::rgba(0.2, 0.31, 0.52);
      PangoAttrList* attrs = textAttributes(b.titleLabel()->font(), b.currentTitleColor().value_or(fallback));
      gtk_label_set_attributes(GTK_LABEL(label_), attrs);
      pango_attr_list_unref(attrs);
      syncTitleLines();
      GtkWidget* inner = gtk_bin_get_child(GTK_BIN(content_));
      // The explicit title colour would hide the theme's disabled look.
      gtk_widget_set_opacity(inner, dimmedWhenDisabled(b) ? kDisabledAlpha : 1.0);
      GtkAlign h = GTK_ALIGN_CENTER, vAlign = GTK_ALIGN_CENTER;
      switch (b.contentHorizontalAlignment()) {
        case Control::ContentHorizontalAlignment::Left: h = GTK_ALIGN_START; break;
        case Control::ContentHorizontalAlignment::Right: h = GTK_ALIGN_END; break;
        case Control::ContentHorizontalAlignment::Fill: h = GTK_ALIGN_FILL; break;
        default: break;
      }
      switch (b.contentVerticalAlignment()) {
        case Control::ContentVerticalAlignment::Top: vAlign = GTK_ALIGN_START; break;
        case Control::ContentVerticalAlignment::Bottom: vAlign = GTK_ALIGN_END; break;
        case Control::ContentVerticalAlignment::Fill: vAlign = GTK_ALIGN_FILL; break;
        default: break;
      }
      gtk_widget_set_halign(inner, h);
      gtk_widget_set_valign(inner, vAlign);
      const EdgeInsets& in = b.contentEdgeInsets();
      gtk_widget_set_margin_top(inner, std::max(0, px(in.top)));
      gtk_widget_set_margin_bottom(inner, std::max(0, px(in.bottom)));
      gtk_widget_set_margin_start(inner, std::max(0, px(in.left)));
      gtk_widget_set_margin_end(inner, std::max(0, px(in.right)));
      gtk_widget_queue_draw(box_);
      break;
    }
    case Kind::TextField: {
      auto& tf = static_cast<TextField&>(v);
      GtkEntry* e = GTK_ENTRY(content_);
      if (std::strcmp(gtk_entry_get_text(e), tf.text().c_str()) != 0) {
        const gint pos = gtk_editable_get_position(GTK_EDITABLE(e));
        gtk_entry_set_text(e, tf.text().c_str());
        gtk_editable_set_position(GTK_EDITABLE(e), tf.isEditing() ? pos : -1);
      }
      gtk_entry_set_placeholder_text(e, tf.placeholder().c_str());
      PangoAttrList* attrs = textAttributes(tf.font(), tf.textColor());
      gtk_entry_set_attributes(e, attrs);
      pango_attr_list_unref(attrs);
      gtk_entry_set_alignment(e, xalign(tf.textAlignment()));
      gtk_entry_set_visibility(e, !tf.isSecureTextEntry());
      gtk_entry_set_icon_from_icon_name(e, GTK_ENTRY_ICON_SECONDARY,
                                        tf.isClearButtonVisible() ? "edit-clear-symbolic" : nullptr);
      // The side views take room from the text.
      const int left = tf.leftView() ? px(tf.leftView()->frame().width()) : 0;
      const int right = tf.rightView() ? px(tf.rightView()->frame().width()) : 0;
      gtk_widget_set_margin_start(content_, left);
      gtk_widget_set_margin_end(content_, right);
      syncAppearance();
      tree_.reconcile(*this);
      break;
    }
    case Kind::TextView: {
      auto& tv = static_cast<TextView&>(v);
      GtkTextBuffer* buffer = gtk_text_view_get_buffer(GTK_TEXT_VIEW(content_));
      GtkTextIter s, e;
      gtk_text_buffer_get_bounds(buffer, &s, &e);
      gchar* now = gtk_text_buffer_get_text(buffer, &s, &e, FALSE);
      if (tv.text() != now) gtk_text_buffer_set_text(buffer, tv.text().c_str(), -1);
      g_free(now);
      gtk_text_view_set_editable(GTK_TEXT_VIEW(content_), tv.isEditable());
      gtk_text_view_set_justification(GTK_TEXT_VIEW(content_), tv.textAlignment() == TextAlignment::Center ? GTK_JUSTIFY_CENTER
                                                               : tv.textAlignment() == TextAlignment::Right ? GTK_JUSTIFY_RIGHT
                                                                                                            : GTK_JUSTIFY_LEFT);
      GtkTextTag* tag = gtk_text_tag_table_lookup(gtk_text_buffer_get_tag_table(buffer), "kit");
      if (!tag) tag = gtk_text_buffer_create_tag(buffer, "kit", nullptr);
      PangoFontDescription* d = PangoText::describe(tv.font());
      GdkRGBA rgba{tv.textColor().red, tv.textColor().green, tv.textColor().blue, tv.textColor().alpha};
      g_object_set(tag, "font-desc", d, "foreground-rgba", &rgba, nullptr);
      pango_font_description_free(d);
      gtk_text_buffer_get_bounds(buffer, &s, &e);
      gtk_text_buffer_apply_tag(buffer, tag, &s, &e);
      break;
    }
    case Kind::ImageView:
      gtk_widget_queue_draw(content_);
      break;
    case Kind::Switch:
      gtk_switch_set_active(GTK_SWITCH(content_), static_cast<Switch&>(v).isOn());
      break;
    case Kind::Slider: {
      auto& s = static_cast<Slider&>(v);
      gtk_range_set_range(GTK_RANGE(content_), s.minimumValue(),
                          s.maximumValue() > s.minimumValue() ? s.maximumValue() : s.minimumValue() + 1e-9);
      gtk_range_set_value(GTK_RANGE(content_), s.value());
      break;
    }
    case Kind::Progress:
      gtk_progress_bar_set_fraction(GTK_PROGRESS_BAR(content_), static_cast<ProgressView&>(v).progress());
      break;
    case Kind::Activity:
      setSpinning(content_, static_cast<ActivityIndicatorView&>(v).isAnimating());
      break;
    case Kind::Bar:
      syncBarItems();
      break;
    default:
      break;
  }
  gtk_widget_queue_draw(box_);
  syncing_ = false;
}

void ViewWidget::syncState() {
  // A cell's editing control and marks follow its editing state.
  if (dynamic_cast<TableViewCell*>(view_.get())) gtk_widget_queue_draw(box_);
  // An activity indicator reports starting and stopping as a state change.
  if (kind_ == Kind::Activity) {
    syncContent();
    return;
  }
  auto* control = dynamic_cast<Control*>(view_.get());
  if (!control || !content_) return;
  syncing_ = true;
  gtk_widget_set_sensitive(content_, control->isEnabled());
  if (kind_ == Kind::Button) {
    GtkStateFlags flags = gtk_widget_get_state_flags(content_);
    if (control->isHighlighted())
      gtk_widget_set_state_flags(content_, GTK_STATE_FLAG_ACTIVE, FALSE);
    else if (flags & GTK_STATE_FLAG_ACTIVE)
      gtk_widget_unset_state_flags(content_, GTK_STATE_FLAG_ACTIVE);
    if (control->isSelected())
      gtk_widget_set_state_flags(content_, GTK_STATE_FLAG_CHECKED, FALSE);
    else
      gtk_widget_unset_state_flags(content_, GTK_STATE_FLAG_CHECKED);
    syncing_ = false;
    syncContent();  // the title, image and colour follow the state
    return;
  }
  if (kind_ == Kind::TextField) {
    auto& tf = static_cast<TextField&>(*view_);
    GtkWidget* top = gtk_widget_get_toplevel(content_);
    if (tf.isEditing() && !gtk_widget_has_focus(content_) && gtk_widget_get_mapped(content_)) {
      gtk_widget_grab_focus(content_);
      gtk_editable_set_position(GTK_EDITABLE(content_), -1);
    } else if (!tf.isEditing() && gtk_widget_has_focus(content_) && GTK_IS_WINDOW(top)) {
      gtk_window_set_focus(GTK_WINDOW(top), nullptr);
    }
    gtk_widget_set_sensitive(content_, TRUE);  // a disabled field still shows its text plainly
    gtk_editable_set_editable(GTK_EDITABLE(content_), control->isEnabled());
  }
  syncing_ = false;
}

void ViewWidget::syncBarItems() {
  GList* old = gtk_container_get_children(GTK_CONTAINER(extras_));
  for (GList* l = old; l; l = l->next) gtk_widget_destroy(GTK_WIDGET(l->data));
  g_list_free(old);

  std::vector<Ref<BarButtonItem>> items;
  std::string title;
  BarStyle style = BarStyle::Default;
  if (auto* tb = dynamic_cast<Toolbar*>(view_.get())) {
    items = tb->items();
    style = tb->barStyle();
  } else if (auto* nb = dynamic_cast<NavigationBar*>(view_.get())) {
    style = nb->barStyle();
    if (nb->backButton()) items.emplace_back(nb->backButton());
    if (NavigationItem* top = nb->topItem()) {
      for (auto& i : top->leftBarButtonItems()) items.push_back(i);
      for (auto& i : top->rightBarButtonItems()) items.push_back(i);
      if (!top->titleView()) title = top->title();
    }
  }
  const Rect b = view_->bounds();
  const Color text = style == BarStyle::Default ? Color::blackColor() : Color::whiteColor();
  if (!title.empty()) {
    GtkWidget* l = gtk_label_new(title.c_str());
    gtk_label_set_ellipsize(GTK_LABEL(l), PANGO_ELLIPSIZE_END);
    PangoAttrList* attrs = textAttributes(Font::boldSystemFont(20), Color::whiteColor());
    gtk_label_set_attributes(GTK_LABEL(l), attrs);
    PangoLayout* measure = gtk_widget_create_pango_layout(l, title.c_str());
    pango_layout_set_attributes(measure, attrs);
    int natural = 0;
    pango_layout_get_pixel_size(measure, &natural, nullptr);
    g_object_unref(measure);
    pango_attr_list_unref(attrs);
    // The title keeps clear of the items beside it: centred in the bar while
    // it fits between them, else centred in the room they leave.
    const int width = px(b.width()), gap = 6;
    int left = gap, right = width - gap;
    for (auto& item : items) {
      if (item->isSpace() || item->bar() != view_.get()) continue;
      const Rect f = item->frameInBar();
      if (f.width() <= 0) continue;
      if (f.midX() < b.width() / 2)
        left = std::max(left, px(f.maxX()) + gap);
      else
        right = std::min(right, px(f.x()) - gap);
    }
    const int inset = std::max(left, width - right);
    if (natural > width - 2 * inset) {
      gtk_widget_set_size_request(l, std::max(right - left, 1), px(b.height()));
      gtk_fixed_put(GTK_FIXED(extras_), l, left, 0);
    } else {
      gtk_widget_set_size_request(l, std::max(width - 2 * inset, 1), px(b.height()));
      gtk_fixed_put(GTK_FIXED(extras_), l, inset, 0);
    }
    gtk_widget_show(l);
  }
  for (auto& item : items) {
    if (item->isSpace() || item->customView() || item->bar() != view_.get()) continue;
    const Rect f = item->frameInBar();
    if (f.width() <= 0 || f.height() <= 0) continue;
    GtkWidget* button = gtk_button_new();
    addClass(button, "kit-bar-item");
    gtk_widget_set_focus_on_click(button, FALSE);
    // A pictured item's title is its tooltip; a titled one shows it already
    // (and a tooltip would outlive the screen presented over it).
    const bool pictured = item->image() && item->image()->hasPixels();
    if (pictured) {
      gtk_container_add(GTK_CONTAINER(button), imageWidget(item->image(), nullptr));
    } else if (item->isSystemItem() && *systemIcon(item->systemItem()) && item->title().empty()) {
      // A narrow item takes the smaller icon, so that the button keeps to its frame.
      gtk_container_add(GTK_CONTAINER(button),
                        gtk_image_new_from_icon_name(systemIcon(item->systemItem()), f.width() < 36
                                                                                         ? GTK_ICON_SIZE_SMALL_TOOLBAR
                                                                                         : GTK_ICON_SIZE_LARGE_TOOLBAR));
    } else {
      std::string t = item->title();
      if (t.empty() && item->isSystemItem()) t = systemTitle(item->systemItem());
      GtkWidget* l = gtk_label_new(t.c_str());
      gtk_label_set_ellipsize(GTK_LABEL(l), PANGO_ELLIPSIZE_END);  // kept to the item's frame
      if (style != BarStyle::Default) addClass(button, "kit-dark");  // white titles need a dark face
      PangoAttrList* attrs = textAttributes(Font::boldSystemFont(12), text);
      gtk_label_set_attributes(GTK_LABEL(l), attrs);
      pango_attr_list_unref(attrs);
      gtk_container_add(GTK_CONTAINER(button), l);
    }
    gtk_widget_set_sensitive(button, item->isEnabled());
    // Titles carry the bar's colour, which the theme's disabled look would not change.
    gtk_widget_set_opacity(gtk_bin_get_child(GTK_BIN(button)), item->isEnabled() ? 1.0 : kDisabledAlpha);
    gtk_widget_set_tooltip_text(button, !pictured || item->title().empty() ? nullptr : item->title().c_str());
    // The back button is the bar's own: its tap pops rather than runs an action.
    struct Tap {
      Ref<BarButtonItem> item;
      Ref<NavigationBar> backOf;
    };
    auto* nb = dynamic_cast<NavigationBar*>(view_.get());
    auto* holder = new Tap{item, nb && nb->backButton() == item.get() ? Ref<NavigationBar>(nb) : nullptr};
    g_signal_connect_data(
        button, "clicked", callback([](GtkButton*, gpointer data) {
          Tap tap = *static_cast<Tap*>(data);
          MainContextHost::deliver([tap] {
            if (tap.backOf)
              tap.backOf->tapBackButton();
            else
              tap.item->perform();
          });
        }),
        holder, [](gpointer data, GClosure*) { delete static_cast<Tap*>(data); }, GConnectFlags(0));
    gtk_widget_set_size_request(button, px(f.width()), px(f.height()));
    gtk_fixed_put(GTK_FIXED(extras_), button, px(f.x() - b.x()), px(f.y() - b.y()));
    gtk_widget_show_all(button);
  }
}

// ---------------------------------------------------------------- painting

void ViewWidget::paint(cairo_t* cr, int width, int height) {
  View& v = *view_;
  Layer* layer = v.layer();
  const double radius = layer->cornerRadius();
  if (kind_ == Kind::Bar) {
    if (auto* tb = dynamic_cast<Toolbar*>(&v))
      paintBar(cr, width, height, tb->barStyle(), tb->tintColor());
    else if (auto* nb = dynamic_cast<NavigationBar*>(&v))
      paintBar(cr, width, height, nb->barStyle(), nb->tintColor());
  }
  // A window shows black where no view covers it (the status bar's strip).
  if (dynamic_cast<Window*>(&v) && !v.backgroundColor()) {
    cairo_set_source_rgb(cr, 0, 0, 0);
    cairo_paint(cr);
  }
  if (const auto& bg = v.backgroundColor(); bg && bg->alpha > 0) {
    roundedRect(cr, 0, 0, width, height, radius);
    setSource(cr, *bg);
    cairo_fill(cr);
  }
  if (radius > 0) {
    roundedRect(cr, 0, 0, width, height, radius);
    cairo_clip(cr);
  }
  const Point origin = v.bounds().origin;
  for (const auto& sub : layer->sublayers()) {
    if (sub->isHidden() || sub->opacity() <= 0) continue;
    const Rect f = sub->frame();
    const double x = f.x() - origin.x, y = f.y() - origin.y;
    if (auto* g = dynamic_cast<GradientLayer*>(sub.get()); g && !g->colors().empty()) {
      cairo_pattern_t* p = cairo_pattern_create_linear(x + g->startPoint().x * f.width(), y + g->startPoint().y * f.height(),
                                                       x + g->endPoint().x * f.width(), y + g->endPoint().y * f.height());
      const auto& colors = g->colors();
      for (size_t i = 0; i < colors.size(); ++i) {
        double at = i < g->locations().size() ? g->locations()[i]
                    : colors.size() > 1        ? double(i) / double(colors.size() - 1)
                                               : 0;
        cairo_pattern_add_color_stop_rgba(p, at, colors[i].red, colors[i].green, colors[i].blue,
                                          colors[i].alpha * sub->opacity());
      }
      roundedRect(cr, x, y, f.width(), f.height(), sub->cornerRadius());
      cairo_set_source(cr, p);
      cairo_fill(cr);
      cairo_pattern_destroy(p);
    } else if (sub->backgroundColor()) {
      roundedRect(cr, x, y, f.width(), f.height(), sub->cornerRadius());
      setSource(cr, *sub->backgroundColor(), sub->opacity());
      cairo_fill(cr);
    }
    if (sub->borderWidth() > 0 && sub->borderColor()) {
      roundedRect(cr, x, y, f.width(), f.height(), sub->cornerRadius());
      setSource(cr, *sub->borderColor(), sub->opacity());
      cairo_set_line_width(cr, sub->borderWidth());
      cairo_stroke(cr);
    }
  }
  Image* background = nullptr;
  bool dimmed = false;
  if (auto* b = dynamic_cast<Button*>(&v)) {
    background = b->currentBackgroundImage();
    dimmed = dimmedWhenDisabled(*b) && b->backgroundImageForState(Control::Disabled) ==
                                           b->backgroundImageForState(Control::Normal);
  }
  if (auto* tf = dynamic_cast<TextField*>(&v)) background = tf->background();
  if (background && dimmed) {
    cairo_push_group(cr);
    paintImage(cr, *background, View::ContentMode::ScaleToFill, width, height);
    cairo_pop_group_to_source(cr);
    cairo_paint_with_alpha(cr, kDisabledAlpha);
  } else if (background) {
    paintImage(cr, *background, View::ContentMode::ScaleToFill, width, height);
  }
  if (auto* cell = dynamic_cast<TableViewCell*>(&v)) {
    cairo_save(cr);
    paintCellMarks(cr, *cell, height);
    cairo_restore(cr);
  }
  if (layer->borderWidth() > 0 && layer->borderColor()) {
    const double bw = layer->borderWidth();
    roundedRect(cr, bw / 2, bw / 2, width - bw, height - bw, std::max(0.0, radius - bw / 2));
    setSource(cr, *layer->borderColor());
    cairo_set_line_width(cr, bw);
    cairo_stroke(cr);
  }
  paintSubviewShadows(cr);
}

void ViewWidget::paintSubviewShadows(cairo_t* cr) {
  const Point origin = view_->bounds().origin;
  for (const Ref<View>& sub : view_->subviews()) {
    const Layer* l = sub->layer();
    // A label's shadow follows its text (syncTextShadow); others follow their background.
    if (l->shadowOpacity() <= 0 || sub->isHidden() || sub->alpha() <= 0 || !sub->transform().isIdentity() ||
        dynamic_cast<Label*>(sub.get()))
      continue;
    const auto& bg = sub->backgroundColor();
    if (!bg || bg->alpha <= 0) continue;
    const Rect f = sub->frame();
    const double x = f.x() - origin.x + l->shadowOffset().width, y = f.y() - origin.y + l->shadowOffset().height;
    // The blur as layers from the radius outside the shape to the radius inside it.
    const double blur = std::max(0.0, l->shadowRadius());
    const int steps = blur > 0 ? std::max(3, static_cast<int>(std::ceil(blur * 3))) : 1;
    const double alpha = l->shadowOpacity() * bg->alpha * std::min(1.0, sub->alpha());
    for (int i = 0; i < steps; ++i) {
      const double grow = steps == 1 ? 0 : blur * (1 - 2.0 * i / (steps - 1));
      roundedRect(cr, x - grow, y - grow, f.width() + 2 * grow, f.height() + 2 * grow,
                  std::max(0.0, l->cornerRadius() + grow));
      setSource(cr, l->shadowColor(), alpha / steps);
      cairo_fill(cr);
    }
  }
}

void ViewWidget::syncTextShadow() {
  const Layer* l = view_->layer();
  std::string css = "label { text-shadow: none; }";
  if (l->shadowOpacity() > 0) {
    const Color c = l->shadowColor();
    char buf[160];
    std::snprintf(buf, sizeof buf, "label { text-shadow: %.2fpx %.2fpx %.2fpx rgba(%d, %d, %d, %.3f); }",
                  l->shadowOffset().width, l->shadowOffset().height, std::max(0.0, l->shadowRadius()),
                  static_cast<int>(std::lround(c.red * 255)), static_cast<int>(std::lround(c.green * 255)),
                  static_cast<int>(std::lround(c.blue * 255)), std::clamp(c.alpha * l->shadowOpacity(), 0.0, 1.0));
    css = buf;
  }
  if (css == textShadowCss_ || (!textShadow_ && l->shadowOpacity() <= 0)) return;
  if (!textShadow_) {
    textShadow_ = gtk_css_provider_new();
    gtk_style_context_add_provider(gtk_widget_get_style_context(content_), GTK_STYLE_PROVIDER(textShadow_),
                                   GTK_STYLE_PROVIDER_PRIORITY_APPLICATION);
  }
  gtk_css_provider_load_from_data(textShadow_, css.c_str(), -1, nullptr);
  textShadowCss_ = std::move(css);
}

void ViewWidget::paintImage(cairo_t* cr, const Image& image, View::ContentMode mode, double width, double height) {
  cairo_surface_t* s = ImageConversion::toSurface(image);
  if (!s) return;
  const double iw = image.size().width, ih = image.size().height;
  if (iw <= 0 || ih <= 0) {
    cairo_surface_destroy(s);
    return;
  }
  double sx = 1, sy = 1;
  using M = View::ContentMode;
  switch (mode) {
    case M::ScaleToFill:
    case M::Redraw:
      sx = width / iw;
      sy = height / ih;
      break;
    case M::ScaleAspectFit:
      sx = sy = std::min(width / iw, height / ih);
      break;
    case M::ScaleAspectFill:
      sx = sy = std::max(width / iw, height / ih);
      break;
    default:
      break;
  }
  const double dw = iw * sx, dh = ih * sy;
  double x = (width - dw) / 2, y = (height - dh) / 2;
  switch (mode) {
    case M::Top: y = 0; break;
    case M::Bottom: y = height - dh; break;
    case M::Left: x = 0; break;
    case M::Right: x = width - dw; break;
    case M::TopLeft: x = 0; y = 0; break;
    case M::TopRight: x = width - dw; y = 0; break;
    case M::BottomLeft: x = 0; y = height - dh; break;
    case M::BottomRight: x = width - dw; y = height - dh; break;
    default: break;
  }
  cairo_save(cr);
  cairo_rectangle(cr, 0, 0, width, height);
  cairo_clip(cr);
  cairo_translate(cr, x, y);
  cairo_scale(cr, sx, sy);
  cairo_set_source_surface(cr, s, 0, 0);
  cairo_pattern_set_filter(cairo_get_source(cr), CAIRO_FILTER_GOOD);
  cairo_paint(cr);
  cairo_restore(cr);
  cairo_surface_destroy(s);
}

}  // namespace kit::gtk
