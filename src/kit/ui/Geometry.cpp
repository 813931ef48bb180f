#include "kit/ui/Geometry.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace kit {

double Rect::minX() const { return std::min(origin.x, origin.x + size.width); }
double Rect::minY() const { return std::min(origin.y, origin.y + size.height); }
double Rect::maxX() const { return std::max(origin.x, origin.x + size.width); }
double Rect::maxY() const { return std::max(origin.y, origin.y + size.height); }

Rect Rect::standardized() const { return {minX(), minY(), maxX() - minX(), maxY() - minY()}; }

bool Rect::contains(Point p) const {
  return p.x >= minX() && p.x < maxX() && p.y >= minY() && p.y < maxY();
}

bool Rect::contains(const Rect& r) const {
  return r.minX() >= minX() && r.maxX() <= maxX() && r.minY() >= minY() && r.maxY() <= maxY();
}

bool Rect::intersects(const Rect& r) const {
  return r.minX() < maxX() && minX() < r.maxX() && r.minY() < maxY() && minY() < r.maxY();
}

Rect Rect::intersection(const Rect& r) const {
  if (!intersects(r)) return {};
  double x0 = std::max(minX(), r.minX()), y0 = std::max(minY(), r.minY());
  double x1 = std::min(maxX(), r.maxX()), y1 = std::min(maxY(), r.maxY());
  return {x0, y0, x1 - x0, y1 - y0};
}

Rect Rect::unionWith(const Rect& r) const {
  double x0 = std::min(minX(), r.minX()), y0 = std::min(minY(), r.minY());
  double x1 = std::max(maxX(), r.maxX()), y1 = std::max(maxY(), r.maxY());
  return {x0, y0, x1 - x0, y1 - y0};
}

Rect Rect::insetBy(double dx, double dy) const {
  Rect s = standardized();
  return {s.origin.x + dx, s.origin.y + dy, s.size.width - 2 * dx, s.size.height - 2 * dy};
}

AffineTransform AffineTransform::rotation(double radians) {
  double c = std::cos(radians), s = std::sin(radians);
  return {c, s, -s, c, 0, 0};
}

AffineTransform AffineTransform::concat(const AffineTransform& t) const {
  return {a * t.a + b * t.c,         a * t.b + b * t.d,         c * t.a + d * t.c,
          c * t.b + d * t.d,         tx * t.a + ty * t.c + t.tx, tx * t.b + ty * t.d + t.ty};
}

AffineTransform AffineTransform::inverted() const {
  double det = a * d - b * c;
  if (det == 0) return *this;
  return {d / det, -b / det, -c / det, a / det, (c * ty - d * tx) / det, (b * tx - a * ty) / det};
}

Rect AffineTransform::apply(const Rect& r) const {
  Point p[4] = {apply(Point{r.minX(), r.minY()}), apply(Point{r.maxX(), r.minY()}),
                apply(Point{r.minX(), r.maxY()}), apply(Point{r.maxX(), r.maxY()})};
  double x0 = p[0].x, x1 = p[0].x, y0 = p[0].y, y1 = p[0].y;
  for (const Point& q : p) {
    x0 = std::min(x0, q.x);
    x1 = std::max(x1, q.x);
    y0 = std::min(y0, q.y);
    y1 = std::max(y1, q.y);
  }
  return {x0, y0, x1 - x0, y1 - y0};
}

std::string toString(const Point& p) {
  char buf[64];
  std::snprintf(buf, sizeof buf, "{%g, %g}", p.x, p.y);
  return buf;
}

std::string toString(const Size& s) {
  char buf[64];
  std::snprintf(buf, sizeof buf, "{%g, %g}", s.width, s.height);
  return buf;
}

std::string toString(const Rect& r) { return "{" + toString(r.origin) + ", " + toString(r.size) + "}"; }

}  // namespace kit
