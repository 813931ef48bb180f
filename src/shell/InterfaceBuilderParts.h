#pragma once
// The pieces every interface-file builder starts from: short names for the
// autoresizing masks and placing a new view in its parent.

#include "kit/ui/InterfaceFile.h"
#include "kit/ui/View.h"

namespace tolva::InterfaceBuilderParts {

using kit::Rect;
using kit::View;
inline constexpr unsigned FL = View::FlexibleLeftMargin, FW = View::FlexibleWidth, FR = View::FlexibleRightMargin,
                          FT = View::FlexibleTopMargin, FH = View::FlexibleHeight, FB = View::FlexibleBottomMargin;

// A view made by the interface file, framed, masked and added to `parent`.
template <class T>
kit::Ref<T> place(kit::InterfaceFile::Context& ctx, View* parent, Rect frame, unsigned mask) {
  kit::Ref<T> v = ctx.make<T>();
  v->setFrame(frame);
  v->setAutoresizingMask(mask);
  parent->addSubview(v.get());
  return v;
}

}  // namespace tolva::InterfaceBuilderParts
