#include "kit/ui/ViewRenderer.h"

#include "kit/ui/View.h"

namespace kit {
namespace {

ViewRenderer::Renderer& renderer() {
  static auto* r = new ViewRenderer::Renderer();
  return *r;
}

}  // namespace

Ref<Image> ViewRenderer::renderView(View& view) {
  if (renderer()) {
    if (Ref<Image> img = renderer()(view)) return img;
  }
  return Image::imageWithSize(view.bounds().size);
}

void ViewRenderer::setRenderer(Renderer r) { renderer() = std::move(r); }

}  // namespace kit
