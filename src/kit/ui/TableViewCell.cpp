#include "kit/ui/TableViewCell.h"

#include <algorithm>

#include "kit/ui/ImageView.h"
#include "kit/ui/Label.h"

namespace kit {

TableViewCell::TableViewCell(Style style, std::string reuseIdentifier)
    : View({0, 0, 320, kDefaultHeight}), style_(style), reuseIdentifier_(std::move(reuseIdentifier)) {
  contentView_ = View::view(bounds());
  contentView_->setBackgroundColor(std::nullopt);
  contentView_->setOpaque(false);
  addSubview(contentView_.get());

  imageView_ = Ref<ImageView>(new ImageView());
  contentView_->addSubview(imageView_.get());

  textLabel_ = Ref<Label>(new Label());
  contentView_->addSubview(textLabel_.get());
  textLabel_->setHighlightedTextColor(Color::whiteColor());
  switch (style_) {
    case Style::Default:
      textLabel_->setFont(Font::boldSystemFont(20));
      break;
    case Style::Value1:
      textLabel_->setFont(Font::boldSystemFont(17));
      break;
    case Style::Value2:
      textLabel_->setFont(Font::boldSystemFont(12));
      textLabel_->setTextColor(value1DetailColor());
      textLabel_->setTextAlignment(TextAlignment::Right);
      break;
    case Style::Subtitle:
      textLabel_->setFont(Font::boldSystemFont(18));
      break;
  }
  if (style_ != Style::Default) {
    detailTextLabel_ = Ref<Label>(new Label());
    contentView_->addSubview(detailTextLabel_.get());
    detailTextLabel_->setHighlightedTextColor(Color::whiteColor());
    switch (style_) {
      case Style::Value1:
        detailTextLabel_->setFont(Font::systemFont(17));
        detailTextLabel_->setTextColor(value1DetailColor());
        detailTextLabel_->setTextAlignment(TextAlignment::Right);
        break;
      case Style::Value2:
        detailTextLabel_->setFont(Font::boldSystemFont(15));
        break;
      default:
        detailTextLabel_->setFont(Font::systemFont(14));
        detailTextLabel_->setTextColor(Color::grayColor());
        break;
    }
  }
  setNeedsLayout();
}

TableViewCell::~TableViewCell() = default;

void TableViewCell::setBackgroundView(View* v) {
  if (backgroundView_.get() == v) return;
  if (backgroundView_) backgroundView_->removeFromSuperview();
  backgroundView_ = v;
  if (v) insertSubview(v, 0);
  setNeedsLayout();
}

void TableViewCell::setSelectedBackgroundView(View* v) {
  if (selectedBackgroundView_.get() == v) return;
  if (selectedBackgroundView_) selectedBackgroundView_->removeFromSuperview();
  selectedBackgroundView_ = v;
  updateHighlightState();
  setNeedsLayout();
}

// ---- Accessories

void TableViewCell::setAccessoryType(AccessoryType t) {
  if (t == accessoryType_) return;
  accessoryType_ = t;
  notify(ViewChange::Content);
  setNeedsLayout();
}

void TableViewCell::setAccessoryView(View* v) {
  if (accessoryView_.get() == v) return;
  if (accessoryView_ && accessoryView_->superview() == this) accessoryView_->removeFromSuperview();
  accessoryView_ = v;
  if (v && !editing_) addSubview(v);
  setNeedsLayout();
}

void TableViewCell::setEditingAccessoryType(AccessoryType t) {
  if (t == editingAccessoryType_) return;
  editingAccessoryType_ = t;
  notify(ViewChange::Content);
  setNeedsLayout();
}

void TableViewCell::setEditingAccessoryView(View* v) {
  if (editingAccessoryView_.get() == v) return;
  if (editingAccessoryView_ && editingAccessoryView_->superview() == this) editingAccessoryView_->removeFromSuperview();
  editingAccessoryView_ = v;
  if (v && editing_) addSubview(v);
  setNeedsLayout();
}

TableViewCell::AccessoryType TableViewCell::currentAccessoryType() const {
  return editing_ ? editingAccessoryType_ : accessoryType_;
}

View* TableViewCell::currentAccessoryView() const {
  return editing_ ? editingAccessoryView_.get() : accessoryView_.get();
}

double TableViewCell::widthOfAccessory(AccessoryType t) {
  switch (t) {
    case AccessoryType::None:
      return 0;
    case AccessoryType::DetailDisclosureButton:
      return kDetailButtonWidth;
    default:
      return kAccessoryMarkWidth;
  }
}

Rect TableViewCell::accessoryFrame() const {
  Rect b = bounds();
  double reorder = (editing_ && showsReorderControl_) ? kReorderControlWidth : 0;
  double w = 0, h = 0;
  if (View* v = currentAccessoryView()) {
    w = v->frame().width();
    h = v->frame().height();
  } else {
    w = widthOfAccessory(currentAccessoryType());
    h = w;
  }
  if (w <= 0) return {};
  return {b.width() - reorder - kPadding - w, (b.height() - h) / 2, w, h};
}

// ---- Selection

void TableViewCell::setSelectionStyle(SelectionStyle s) {
  selectionStyle_ = s;
  updateHighlightState();
}

void TableViewCell::setSelected(bool selected, bool) {
  if (selected == selected_) return;
  selected_ = selected;
  updateHighlightState();
  notify(ViewChange::State);
}

void TableViewCell::setHighlighted(bool highlighted, bool) {
  if (highlighted == highlighted_) return;
  highlighted_ = highlighted;
  updateHighlightState();
  notify(ViewChange::State);
}

// A cell without a selection style keeps its normal look when selected.
void TableViewCell::updateHighlightState() {
  bool lit = (selected_ || highlighted_) && selectionStyle_ != SelectionStyle::None;
  textLabel_->setHighlighted(lit);
  if (detailTextLabel_) detailTextLabel_->setHighlighted(lit);
  imageView_->setHighlighted(lit);
  if (selectedBackgroundView_) {
    if (lit && selectedBackgroundView_->superview() != this) {
      insertSubview(selectedBackgroundView_.get(), backgroundView_ ? 1 : 0);
      selectedBackgroundView_->setFrame(bounds());
    } else if (!lit && selectedBackgroundView_->superview() == this) {
      selectedBackgroundView_->removeFromSuperview();
    }
  }
}

// ---- Editing

void TableViewCell::setEditing(bool editing, bool) {
  if (editing == editing_) return;
  editing_ = editing;
  if (!editing) showingDeleteConfirmation_ = false;
  // Swap the accessory pair.
  View* off = editing ? accessoryView_.get() : editingAccessoryView_.get();
  View* on = editing ? editingAccessoryView_.get() : accessoryView_.get();
  if (off && off->superview() == this) off->removeFromSuperview();
  if (on) addSubview(on);
  notify(ViewChange::State);
  setNeedsLayout();
}

void TableViewCell::setEditingStyle(EditingStyle s) {
  if (s == editingStyle_) return;
  editingStyle_ = s;
  setNeedsLayout();
}

void TableViewCell::setShowsReorderControl(bool s) {
  showsReorderControl_ = s;
  setNeedsLayout();
}

void TableViewCell::setShouldIndentWhileEditing(bool s) {
  indentWhileEditing_ = s;
  setNeedsLayout();
}

void TableViewCell::setShowingDeleteConfirmation(bool s) {
  if (s == showingDeleteConfirmation_) return;
  showingDeleteConfirmation_ = s;
  notify(ViewChange::State);
}

void TableViewCell::setIndentationLevel(long level) {
  indentationLevel_ = std::max(0L, level);
  setNeedsLayout();
}

void TableViewCell::setIndentationWidth(double w) {
  indentationWidth_ = std::max(0.0, w);
  setNeedsLayout();
}

void TableViewCell::prepareForReuse() {
  setSelected(false);
  setHighlighted(false);
  setShowingDeleteConfirmation(false);
}

// ---- Layout

double TableViewCell::leftInset() const {
  bool control = editing_ && editingStyle_ != EditingStyle::None && indentWhileEditing_;
  return control ? kEditingControlWidth : 0;
}

double TableViewCell::rightInset() const {
  double right = (editing_ && showsReorderControl_) ? kReorderControlWidth : 0;
  Rect acc = accessoryFrame();
  if (acc.width() > 0) right += acc.width() + kPadding;
  return right;
}

void TableViewCell::layoutSubviews() {
  Rect b = bounds();
  if (backgroundView_) backgroundView_->setFrame(b);
  if (selectedBackgroundView_ && selectedBackgroundView_->superview() == this) selectedBackgroundView_->setFrame(b);

  double left = leftInset();
  double cw = std::max(0.0, b.width() - left - rightInset());
  double ch = b.height();
  contentView_->setFrame({left, 0, cw, ch});
  if (View* acc = currentAccessoryView()) acc->setFrame(accessoryFrame());

  double x = kPadding + indentationLevel_ * indentationWidth_;
  if (Image* image = imageView_->image()) {
    Size s = image->size();
    imageView_->setFrame({x, (ch - s.height) / 2, s.width, s.height});
    x += s.width + kPadding;
  } else {
    imageView_->setFrame({x, 0, 0, 0});
  }
  double room = std::max(0.0, cw - x - kPadding);

  switch (style_) {
    case Style::Default:
      textLabel_->setFrame({x, 0, room, ch});
      break;
    case Style::Value1: {
      double tw = std::min(textLabel_->sizeThatFits({room, ch}).width, room);
      textLabel_->setFrame({x, 0, tw, ch});
      double dRoom = std::max(0.0, room - tw - kPadding);
      double dw = std::min(detailTextLabel_->sizeThatFits({dRoom, ch}).width, dRoom);
      detailTextLabel_->setFrame({cw - kPadding - dw, 0, dw, ch});
      break;
    }
    case Style::Value2: {
      double tw = std::min(67.0, room);
      textLabel_->setFrame({x, 0, tw, ch});
      double dx = x + tw + 6;
      detailTextLabel_->setFrame({dx, 0, std::max(0.0, cw - dx - kPadding), ch});
      break;
    }
    case Style::Subtitle: {
      double th = textLabel_->font().lineHeight();
      double dh = detailTextLabel_->font().lineHeight();
      double top = std::max(0.0, (ch - th - dh) / 2);
      textLabel_->setFrame({x, top, room, th});
      detailTextLabel_->setFrame({x, top + th, room, dh});
      break;
    }
  }
}

}  // namespace kit
