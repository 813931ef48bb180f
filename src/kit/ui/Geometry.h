#pragma once
// Plane geometry of the view tree: points, sizes, rectangles, edge insets,
// affine transforms and UTF-16 ranges. Plain values, in points, y growing
// downwards; a rectangle's origin is its top-left corner.

#include <cstddef>
#include <string>

namespace kit {

struct Point {
  double x = 0;
  double y = 0;
  bool operator==(const Point&) const = default;
  Point operator+(const Point& o) const { return {x + o.x, y + o.y}; }
  Point operator-(const Point& o) const { return {x - o.x, y - o.y}; }
};

struct Size {
  double width = 0;
  double height = 0;
  bool operator==(const Size&) const = default;
  bool isEmpty() const { return width <= 0 || height <= 0; }
};

struct Rect {
  Point origin;
  Size size;

  Rect() = default;
  Rect(Point o, Size s) : origin(o), size(s) {}
  Rect(double x, double y, double w, double h) : origin{x, y}, size{w, h} {}
  bool operator==(const Rect&) const = default;

  double x() const { return origin.x; }
  double y() const { return origin.y; }
  double width() const { return size.width; }
  double height() const { return size.height; }
  double minX() const;
  double minY() const;
  double maxX() const;
  double maxY() const;
  double midX() const { return origin.x + size.width / 2; }
  double midY() const { return origin.y + size.height / 2; }
  Point center() const { return {midX(), midY()}; }
  bool isEmpty() const { return size.width == 0 || size.height == 0; }

  // A negative width or height is turned into the same area with a positive one.
  Rect standardized() const;
  // Points on the left and top edges are inside, those on the right and bottom edges are not.
  bool contains(Point p) const;
  bool contains(const Rect& r) const;
  bool intersects(const Rect& r) const;
  // The common area; an empty rectangle at the origin when there is none.
  Rect intersection(const Rect& r) const;
  Rect unionWith(const Rect& r) const;
  Rect offsetBy(double dx, double dy) const { return {origin.x + dx, origin.y + dy, size.width, size.height}; }
  Rect insetBy(double dx, double dy) const;
};

struct EdgeInsets {
  double top = 0;
  double left = 0;
  double bottom = 0;
  double right = 0;
  bool operator==(const EdgeInsets&) const = default;
  Rect inset(const Rect& r) const {
    return {r.origin.x + left, r.origin.y + top, r.size.width - left - right, r.size.height - top - bottom};
  }
};

// x' = a*x + c*y + tx, y' = b*x + d*y + ty.
struct AffineTransform {
  double a = 1, b = 0, c = 0, d = 1, tx = 0, ty = 0;
  bool operator==(const AffineTransform&) const = default;

  static AffineTransform identity() { return {}; }
  static AffineTransform scale(double sx, double sy) { return {sx, 0, 0, sy, 0, 0}; }
  static AffineTransform translation(double tx, double ty) { return {1, 0, 0, 1, tx, ty}; }
  static AffineTransform rotation(double radians);

  bool isIdentity() const { return *this == AffineTransform{}; }
  // This transform followed by t.
  AffineTransform concat(const AffineTransform& t) const;
  // The inverse; the transform itself when it cannot be inverted.
  AffineTransform inverted() const;
  Point apply(Point p) const { return {a * p.x + c * p.y + tx, b * p.x + d * p.y + ty}; }
  // The bounding box of the transformed rectangle.
  Rect apply(const Rect& r) const;
};

// A span of UTF-16 code units, as text editing callbacks report them.
struct Range {
  size_t location = 0;
  size_t length = 0;
  bool operator==(const Range&) const = default;
};

std::string toString(const Point& p);
std::string toString(const Size& s);
std::string toString(const Rect& r);

}  // namespace kit
