#pragma once
// Draws a view (with its subviews) into an image. This is the one place a
// view is turned into pixels, so a rendering backend can replace it; the
// headless renderer answers a blank image of the view's bounds size.

#include <functional>

#include "kit/ui/Image.h"

namespace kit {

class View;

class ViewRenderer {
 public:
  using Renderer = std::function<Ref<Image>(View& view)>;

  static Ref<Image> renderView(View& view);
  // Replaces the renderer (null restores the headless one).
  static void setRenderer(Renderer r);
};

}  // namespace kit
