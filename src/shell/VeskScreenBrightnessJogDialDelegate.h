#pragma once
// The delegate of the dial that dims the screen: a ring of 32 empty
// buttons over 8 positions; position 0 clears the dark overlay laid over
// the window, each further position darkens it by a tenth.

#include "kit/foundation/Object.h"
#include "shell/VeskJogDialView.h"

namespace tolva {

class VeskScreenBrightnessJogDialDelegate : public kit::Object, public VeskJogDialViewDelegate {
 public:
  static constexpr size_t kButtons = 32;
  static constexpr size_t kItems = 8;

  // Not owned: the main screen's overlay outlives its dial.
  kit::View* overlay() const noexcept { return overlay_; }
  void setOverlay(kit::View* overlay) { overlay_ = overlay; }

  kit::Ref<kit::Image> VeskJogDialViewCancelImage(VeskJogDialView&) override { return nullptr; }
  void VeskJogDialViewCancelled(VeskJogDialView&) override {}
  size_t VeskJogDialViewNumberOfItems(VeskJogDialView&) override { return kItems; }
  size_t VeskJogDialNumberOfButtonsOnJogdial(VeskJogDialView&) override { return kButtons; }
  kit::Ref<kit::Image> VeskJogDialViewImageAtIndex(VeskJogDialView&, long) override { return nullptr; }
  void VeskJogDialViewPositionChanged(VeskJogDialView& dial, long index) override;

  std::string className() const override { return "VeskScreenBrightnessJogDialDelegate"; }

 private:
  kit::View* overlay_ = nullptr;
};

}  // namespace tolva
