#pragma once
// A geometry value boxed as an object, for notification user info and other
// heterogeneous containers (the keyboard's frames, for example).

#include <string>
#include <variant>

#include "kit/foundation/Object.h"
#include "kit/ui/Geometry.h"

namespace kit {

class GeometryValue : public Object {
 public:
  static Ref<GeometryValue> valueWithPoint(Point p) { return Ref<GeometryValue>(new GeometryValue(p)); }
  static Ref<GeometryValue> valueWithSize(Size s) { return Ref<GeometryValue>(new GeometryValue(s)); }
  static Ref<GeometryValue> valueWithRect(Rect r) { return Ref<GeometryValue>(new GeometryValue(r)); }
  static Ref<GeometryValue> valueWithEdgeInsets(EdgeInsets e) { return Ref<GeometryValue>(new GeometryValue(e)); }

  // Each answers a zero value when the box holds another kind.
  Point pointValue() const;
  Size sizeValue() const;
  Rect rectValue() const;
  EdgeInsets edgeInsetsValue() const;

  std::string className() const override { return "GeometryValue"; }
  size_t hash() const noexcept override;
  bool isEqual(const Object* other) const noexcept override;
  std::string description() const override;

 private:
  using Storage = std::variant<Point, Size, Rect, EdgeInsets>;
  explicit GeometryValue(Storage v) : value_(v) {}
  Storage value_;
};

}  // namespace kit
