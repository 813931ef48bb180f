#pragma once
// Stand-in for the jog dial: it keeps its side, its delegate and the
// selected position, and tells the delegate when the position is set. The
// disc, its buttons and the turning by touch come with the real dial.

#include "kit/ui/Image.h"
#include "kit/ui/View.h"

namespace tolva {

class VeskJogDialView;

class VeskJogDialViewDelegate {
 public:
  virtual ~VeskJogDialViewDelegate() = default;
  virtual kit::Ref<kit::Image> VeskJogDialViewCancelImage(VeskJogDialView& dial) = 0;
  virtual void VeskJogDialViewCancelled(VeskJogDialView& dial) = 0;
  virtual size_t VeskJogDialViewNumberOfItems(VeskJogDialView& dial) = 0;
  virtual size_t VeskJogDialNumberOfButtonsOnJogdial(VeskJogDialView& dial) = 0;
  // The two calls that share their first keyword are told apart by their second.
  virtual kit::Ref<kit::Image> VeskJogDialViewImageAtIndex(VeskJogDialView& dial, long index) = 0;
  virtual void VeskJogDialViewPositionChanged(VeskJogDialView& dial, long index) = 0;
};

class VeskJogDialView : public kit::View {
 public:
  explicit VeskJogDialView(kit::Rect frame = {}) : kit::View(frame) {}

  VeskJogDialViewDelegate* delegate() const noexcept { return delegate_; }
  void setDelegate(VeskJogDialViewDelegate* d) { delegate_ = d; }
  bool leftSided() const noexcept { return leftSided_; }
  // A change of side selects position 0 afresh.
  void setLeftSided(bool left);
  bool hasCancelBtn() const noexcept { return hasCancelBtn_; }
  void setHasCancelBtn(bool h) { hasCancelBtn_ = h; }
  long curSel() const noexcept { return curSel_; }
  // Tells the delegate the position (less one with a cancel button).
  void setCurSel(long position);

  std::string className() const override { return "VeskJogDialView"; }

 private:
  VeskJogDialViewDelegate* delegate_ = nullptr;
  bool leftSided_ = false;
  bool hasCancelBtn_ = true;
  long curSel_ = 0;
};

}  // namespace tolva
