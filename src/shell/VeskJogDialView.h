#pragma once
// A jog dial docked at a screen edge: a disc carrying a ring of icon
// buttons, turned one step for every kStepDistance points a finger drags
// over it. The selected position faces a fixed angle (selectRadius); each
// step tells the delegate the new position. With more items than buttons
// the ring shows a window of the items around the selection and refills
// the button that comes round; with fewer, the spare buttons stay empty.
// Position 0 is a cancel button unless hasCancelBtn is off.
//
// The dial knows nothing of what its items are: the delegate gives counts
// and icons. Main thread only.

#include <vector>

#include "kit/foundation/NotificationCenter.h"
#include "kit/ui/Image.h"
#include "kit/ui/ImageView.h"
#include "kit/ui/View.h"

namespace tolva {

class VeskJogDialView;

class VeskJogDialViewDelegate {
 public:
  virtual ~VeskJogDialViewDelegate() = default;
  virtual kit::Ref<kit::Image> VeskJogDialViewCancelImage(VeskJogDialView& dial) = 0;
  virtual void VeskJogDialViewCancelled(VeskJogDialView& dial) = 0;
  // Items, not counting the cancel button.
  virtual size_t VeskJogDialViewNumberOfItems(VeskJogDialView& dial) = 0;
  // 0: the dial's default ring.
  virtual size_t VeskJogDialNumberOfButtonsOnJogdial(VeskJogDialView& dial) = 0;
  // The two calls that share their first keyword are told apart by their second.
  virtual kit::Ref<kit::Image> VeskJogDialViewImageAtIndex(VeskJogDialView& dial, long index) = 0;
  // -1 is the cancel button.
  virtual void VeskJogDialViewPositionChanged(VeskJogDialView& dial, long index) = 0;
};

class VeskJogDialView : public kit::View {
 public:
  static constexpr int kDefaultButtons = 9;
  static constexpr int kStepDistance = 17;
  static constexpr double kButtonSide = 22.627;
  // From the disc's rim to the centre of a button.
  static constexpr double kRingInset = 20.3135;
  static constexpr double kPi = 3.1415927;
  static constexpr double kTurnDuration = 0.05;

  explicit VeskJogDialView(kit::Rect frame = {});
  ~VeskJogDialView() override;

  VeskJogDialViewDelegate* delegate() const noexcept { return delegate_; }
  void setDelegate(VeskJogDialViewDelegate* d) { delegate_ = d; }

  // The delegate's items plus the cancel button.
  int itemCount() const;
  // The set count, else the delegate's, else kDefaultButtons.
  int btnCount() const;
  void setBtnCount(int n) { btnCount_ = n; }
  int curSel() const noexcept { return curSel_; }
  // Ignored outside 0..itemCount()-1.
  void setCurSel(int position);
  bool leftSided() const noexcept { return leftSided_; }
  // A change of side rebuilds the ring and selects position 0.
  void setLeftSided(bool left);
  bool hasCancelBtn() const noexcept { return hasCancelBtn_; }
  void setHasCancelBtn(bool h) { hasCancelBtn_ = h; }
  double selectRadius() const noexcept { return selectRadius_; }
  void setSelectRadius(double r) { selectRadius_ = r; }

  // The disc and the ring, built on first use. Null drops them.
  kit::ImageView* jogBg();
  void setJogBg(kit::Ref<kit::ImageView> bg);
  const std::vector<kit::Ref<kit::ImageView>>& btnArray();
  void setBtnArray(std::vector<kit::Ref<kit::ImageView>> buttons);
  // The disc's current turn (radians).
  double turn() const noexcept { return turn_; }

  // The bookmarks changed: empty the buttons, keep the selection within
  // the new item count and show it again.
  void bookmarkUpdated();
  void squeezeMemory() {}
  // Forgets where the finger was.
  static void cancelWarmup();

  void awakeFromNib() override;
  void layoutSubviews() override;
  void touchesBegan(const kit::Touches& touches, kit::Event* event) override;
  void touchesMoved(const kit::Touches& touches, kit::Event* event) override;
  void touchesEnded(const kit::Touches& touches, kit::Event* event) override;
  void touchesCancelled(const kit::Touches& touches, kit::Event* event) override;

  std::string className() const override { return "VeskJogDialView"; }

 private:
  void setUp();
  int discSide() const;
  // Fills the empty buttons around position `p` and turns the disc to it.
  void show(int p);
  void fillButton(kit::ImageView& button, int item);

  std::vector<kit::Ref<kit::ImageView>> btnArray_;
  kit::Ref<kit::ImageView> jogBg_;
  int btnCount_ = 0;
  int curSel_ = 0;
  bool leftSided_ = false;
  double selectRadius_ = kPi;
  VeskJogDialViewDelegate* delegate_ = nullptr;  // not owned
  bool hasCancelBtn_ = true;
  double turn_ = 0;
  std::vector<kit::NotificationCenter::Token> observers_;
};

}  // namespace tolva
