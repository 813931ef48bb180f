#include "kit/ui/Button.h"

#include <algorithm>

#include "kit/ui/Layer.h"
#include "kit/ui/TextMeasurement.h"

namespace kit {

Button::Button(Rect frame, Type type) : Control(frame), type_(type) {
  if (type == Type::DetailDisclosure || type == Type::InfoLight || type == Type::InfoDark ||
      type == Type::ContactAdd) {
    if (frame.isEmpty()) setFrame({frame.x(), frame.y(), 22, 22});
  }
}

Button::~Button() = default;

template <class M>
auto Button::lookup(const M& map, unsigned state) -> const typename M::mapped_type* {
  auto it = map.find(state);
  if (it != map.end()) return &it->second;
  if ((state & Selected) && state != Selected) {
    it = map.find(Selected);
    if (it != map.end()) return &it->second;
  }
  it = map.find(Normal);
  return it == map.end() ? nullptr : &it->second;
}

Label* Button::titleLabel() {
  if (!titleLabel_) {
    titleLabel_ = Ref<Label>(new Label(bounds()));
    titleLabel_->setFont(Font::boldSystemFont(Font::buttonFontSize()));
    titleLabel_->setTextAlignment(TextAlignment::Center);
    titleLabel_->setText(currentTitle());
  }
  return titleLabel_.get();
}

void Button::refreshTitle() {
  if (titleLabel_) titleLabel_->setText(currentTitle());
  notify(ViewChange::Content);
}

void Button::setTitle(std::string title, unsigned state) {
  titles_[state] = std::move(title);
  refreshTitle();
}

std::string Button::titleForState(unsigned state) const {
  auto* t = lookup(titles_, state);
  return t ? *t : std::string();
}

void Button::setTitleColor(std::optional<Color> color, unsigned state) {
  titleColors_[state] = color;
  notify(ViewChange::Content);
}

std::optional<Color> Button::titleColorForState(unsigned state) const {
  auto* c = lookup(titleColors_, state);
  return c ? *c : std::nullopt;
}

void Button::setImage(Ref<Image> image, unsigned state) {
  images_[state] = std::move(image);
  notify(ViewChange::Content);
}

Image* Button::imageForState(unsigned state) const {
  auto* i = lookup(images_, state);
  return i ? i->get() : nullptr;
}

void Button::setBackgroundImage(Ref<Image> image, unsigned state) {
  backgrounds_[state] = std::move(image);
  notify(ViewChange::Content);
}

Image* Button::backgroundImageForState(unsigned state) const {
  auto* i = lookup(backgrounds_, state);
  return i ? i->get() : nullptr;
}

void Button::setContentEdgeInsets(EdgeInsets e) {
  contentInsets_ = e;
  notify(ViewChange::Content);
}

void Button::setTitleEdgeInsets(EdgeInsets e) {
  titleInsets_ = e;
  notify(ViewChange::Content);
}

void Button::setImageEdgeInsets(EdgeInsets e) {
  imageInsets_ = e;
  notify(ViewChange::Content);
}

void Button::setEnabled(bool enabled) {
  Control::setEnabled(enabled);
  if (titleLabel_) titleLabel_->setText(currentTitle());
}

void Button::setSelected(bool selected) {
  Control::setSelected(selected);
  if (titleLabel_) titleLabel_->setText(currentTitle());
}

void Button::setHighlighted(bool highlighted) {
  Control::setHighlighted(highlighted);
  if (titleLabel_) titleLabel_->setText(currentTitle());
}

Size Button::sizeThatFits(Size) const {
  Font font = titleLabel_ ? titleLabel_->font() : Font::boldSystemFont(Font::buttonFontSize());
  Size t = TextMeasurement::sizeOfText(currentTitle(), font);
  Size i = currentImage() ? currentImage()->size() : Size{};
  double w = t.width + i.width + contentInsets_.left + contentInsets_.right;
  double h = std::max(t.height, i.height) + contentInsets_.top + contentInsets_.bottom;
  return {w, h};
}

bool Button::drawsSomething() const {
  if (type_ != Type::Custom || currentImage() || !currentTitle().empty() || currentBackgroundImage()) return true;
  if (const auto& bg = backgroundColor(); bg && bg->alpha > 0) return true;
  if (layer()->borderWidth() > 0 && layer()->borderColor() && layer()->borderColor()->alpha > 0) return true;
  for (const auto& s : subviews())
    if (s.get() != titleLabel_.get() && !s->isHidden() && s->alpha() > 0) return true;
  return false;
}

}  // namespace kit
