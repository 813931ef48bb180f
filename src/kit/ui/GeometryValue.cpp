#include "kit/ui/GeometryValue.h"

#include <functional>

namespace kit {

Point GeometryValue::pointValue() const {
  auto* p = std::get_if<Point>(&value_);
  return p ? *p : Point{};
}

Size GeometryValue::sizeValue() const {
  auto* p = std::get_if<Size>(&value_);
  return p ? *p : Size{};
}

Rect GeometryValue::rectValue() const {
  auto* p = std::get_if<Rect>(&value_);
  return p ? *p : Rect{};
}

EdgeInsets GeometryValue::edgeInsetsValue() const {
  auto* p = std::get_if<EdgeInsets>(&value_);
  return p ? *p : EdgeInsets{};
}

size_t GeometryValue::hash() const noexcept { return std::hash<std::string>()(description()); }

bool GeometryValue::isEqual(const Object* other) const noexcept {
  auto* o = dynamic_cast<const GeometryValue*>(other);
  return o && o->value_ == value_;
}

std::string GeometryValue::description() const {
  struct V {
    std::string operator()(const Point& p) const { return "Point: " + toString(p); }
    std::string operator()(const Size& s) const { return "Size: " + toString(s); }
    std::string operator()(const Rect& r) const { return "Rect: " + toString(r); }
    std::string operator()(const EdgeInsets& e) const {
      return "EdgeInsets: " + toString(Rect{e.top, e.left, e.bottom, e.right});
    }
  };
  return std::visit(V{}, value_);
}

}  // namespace kit
