#pragma once
// An RGBA colour with components in 0..1. Plain value.

#include <string>

namespace kit {

struct Color {
  double red = 0;
  double green = 0;
  double blue = 0;
  double alpha = 1;
  bool operator==(const Color&) const = default;

  static Color rgba(double r, double g, double b, double a = 1) { return {r, g, b, a}; }
  static Color withWhite(double w, double a = 1) { return {w, w, w, a}; }
  static Color clearColor() { return {0, 0, 0, 0}; }
  static Color blackColor() { return {0, 0, 0, 1}; }
  static Color whiteColor() { return {1, 1, 1, 1}; }
  static Color darkGrayColor() { return withWhite(1.0 / 3); }
  static Color grayColor() { return withWhite(0.5); }
  static Color lightGrayColor() { return withWhite(2.0 / 3); }
  static Color redColor() { return {1, 0, 0, 1}; }
  static Color greenColor() { return {0, 1, 0, 1}; }
  static Color blueColor() { return {0, 0, 1, 1}; }
  // The linen-like background behind scrolled content.
  static Color scrollViewTexturedBackground() { return {0.44, 0.45, 0.48, 1}; }
  static Color groupTableViewBackground() { return {0.77, 0.80, 0.84, 1}; }

  Color withAlpha(double a) const { return {red, green, blue, a}; }
  std::string description() const;
};

}  // namespace kit
