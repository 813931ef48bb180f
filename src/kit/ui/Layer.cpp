#include "kit/ui/Layer.h"

#include <algorithm>

#include "kit/foundation/RunLoop.h"
#include "kit/ui/View.h"

namespace kit {

Layer::Layer() = default;

Layer::~Layer() {
  for (auto& s : sublayers_) s->superlayer_ = nullptr;
  // Nobody is left to hear about animations cut short; their delayed stops
  // hold only weak references and find nothing.
}

View* Layer::hostView() const {
  for (const Layer* l = this; l; l = l->superlayer_) {
    if (l->view_) return l->view_;
  }
  return nullptr;
}

void Layer::changed() {
  if (View* v = hostView()) v->notify(ViewChange::Layer);
}

void Layer::setPosition(Point p) {
  if (view_) return view_->setCenter(p);
  position_ = p;
  changed();
}

void Layer::setBounds(Rect b) {
  if (view_) return view_->setBounds(b);
  bounds_ = b;
  changed();
}

Rect Layer::frame() const {
  return {position_.x - bounds_.width() / 2, position_.y - bounds_.height() / 2, bounds_.width(), bounds_.height()};
}

void Layer::setFrame(Rect f) {
  if (view_) return view_->setFrame(f);
  bounds_.size = f.size;
  position_ = f.center();
  changed();
}

void Layer::setOpacity(double o) {
  if (view_) return view_->setAlpha(o);
  opacity_ = std::clamp(o, 0.0, 1.0);
  changed();
}

void Layer::setHidden(bool h) {
  if (view_) return view_->setHidden(h);
  hidden_ = h;
  changed();
}

void Layer::setBackgroundColor(std::optional<Color> c) {
  if (view_) return view_->setBackgroundColor(c);
  background_ = c;
  changed();
}

void Layer::setMasksToBounds(bool m) {
  masksToBounds_ = m;
  if (view_) return view_->notify(ViewChange::Appearance);
  changed();
}

void Layer::setCornerRadius(double r) {
  cornerRadius_ = r;
  if (view_) return view_->notify(ViewChange::Appearance);
  changed();
}

void Layer::setBorderWidth(double w) {
  borderWidth_ = w;
  if (view_) return view_->notify(ViewChange::Appearance);
  changed();
}

void Layer::setShadowColor(Color c) {
  shadowColor_ = c;
  if (view_) return view_->notify(ViewChange::Appearance);
  changed();
}

void Layer::setShadowOffset(Size s) {
  shadowOffset_ = s;
  if (view_) return view_->notify(ViewChange::Appearance);
  changed();
}

void Layer::setShadowRadius(double r) {
  shadowRadius_ = r;
  if (view_) return view_->notify(ViewChange::Appearance);
  changed();
}

void Layer::setShadowOpacity(double o) {
  shadowOpacity_ = o;
  if (view_) return view_->notify(ViewChange::Appearance);
  changed();
}

void Layer::setBorderColor(std::optional<Color> c) {
  borderColor_ = c;
  if (view_) return view_->notify(ViewChange::Appearance);
  changed();
}

void Layer::addSublayer(Layer* layer) { insertSublayer(layer, sublayers_.size()); }

void Layer::insertSublayer(Layer* layer, size_t index) {
  if (!layer || layer == this) return;
  // A layer cannot contain one of its ancestors.
  for (Layer* a = superlayer_; a; a = a->superlayer_) {
    if (a == layer) return;
  }
  Ref<Layer> keep(layer);
  if (layer->superlayer_) layer->removeFromSuperlayer();
  index = std::min(index, sublayers_.size());
  sublayers_.insert(sublayers_.begin() + static_cast<long>(index), keep);
  layer->superlayer_ = this;
  changed();
}

void Layer::removeFromSuperlayer() {
  Layer* parent = superlayer_;
  if (!parent) return;
  Ref<Layer> keep(this);
  auto& subs = parent->sublayers_;
  subs.erase(std::remove_if(subs.begin(), subs.end(), [this](const Ref<Layer>& l) { return l.get() == this; }),
             subs.end());
  superlayer_ = nullptr;
  parent->changed();
}

void Layer::addAnimation(Ref<Animation> animation, const std::string& key) {
  if (!animation) return;
  std::string k = key.empty() ? "\x01" "anonymous" + std::to_string(++anonymous_) : key;
  if (animations_.count(k)) stop(k, false);
  animations_[k] = animation;
  changed();
  if (animation->startCallback()) animation->startCallback()(*animation);
  WeakRef<Layer> weak(this);
  Ref<Animation> held = animation;
  RunLoop::main().performAfterDelay(animation.get(), "stop", nullptr, animation->effectiveDuration(),
                                    [weak, held, k] {
                                      Ref<Layer> layer = weak.lock();
                                      if (!layer) return;
                                      auto it = layer->animations_.find(k);
                                      if (it == layer->animations_.end() || it->second != held) return;
                                      layer->stop(k, true);
                                    });
}

void Layer::stop(const std::string& key, bool finished) {
  auto it = animations_.find(key);
  if (it == animations_.end()) return;
  Ref<Animation> a = it->second;
  RunLoop::main().cancelPreviousPerformRequests(a.get());
  // A finished animation that asked to stay remains (frozen at its end).
  if (!finished || a->isRemovedOnCompletion()) animations_.erase(it);
  changed();
  if (a->stopCallback()) a->stopCallback()(*a, finished);
}

Animation* Layer::animationForKey(const std::string& key) const {
  auto it = animations_.find(key);
  return it == animations_.end() ? nullptr : it->second.get();
}

std::vector<std::string> Layer::animationKeys() const {
  std::vector<std::string> keys;
  for (const auto& [k, a] : animations_) {
    if (!k.empty() && k[0] != '\x01') keys.push_back(k);
  }
  return keys;
}

void Layer::removeAnimation(const std::string& key) { stop(key, false); }

void Layer::removeAllAnimations() {
  std::vector<std::string> keys;
  for (const auto& [k, a] : animations_) keys.push_back(k);
  Ref<Layer> keep(this);
  for (const auto& k : keys) stop(k, false);
}

}  // namespace kit
