#pragma once
// The sharing kit's one heads-up display: a translucent rounded square over
// the key window showing a spinner with a line of text (work going on) or a
// large check mark with a line of text (work done). It fades in and out and
// turns with the status bar. Whether it shows is its alpha and whether it is
// in a window. Main thread only; the one instance lives for the process.

#include <string>

#include "kit/foundation/NotificationCenter.h"
#include "kit/ui/ActivityIndicatorView.h"
#include "kit/ui/Label.h"
#include "kit/ui/View.h"

namespace tolva {

class ShareActivityIndicator : public kit::View {
 public:
  static constexpr double kSize = 160;
  static constexpr double kShowDuration = 0.3;
  static constexpr double kPersistDuration = 0.1;
  static constexpr double kHideDelay = 0.6;
  static constexpr double kHideDuration = 0.4;
  static constexpr double kRotationDuration = 0.3;

  static ShareActivityIndicator* currentIndicator();

  void show();
  void hideAfterDelay();
  void hide();
  void persist();
  // The end of a fade-out: leaves the window unless a new show raised the alpha.
  void hidden();
  void displayActivity(const std::string& text);
  void displayCompleted(const std::string& text);
  void setCenterMessage(const std::string* text);
  void setSubMessage(const std::string* text);
  void showSpinner();
  void setProperRotation() { setProperRotation(true); }
  void setProperRotation(bool animate);

  kit::Label* centerMessageLabel() const noexcept { return centerMessageLabel_.get(); }
  void setCenterMessageLabel(kit::Label* l) { centerMessageLabel_ = l; }
  kit::Label* subMessageLabel() const noexcept { return subMessageLabel_.get(); }
  void setSubMessageLabel(kit::Label* l) { subMessageLabel_ = l; }
  kit::ActivityIndicatorView* spinner() const noexcept { return spinner_.get(); }
  void setSpinner(kit::ActivityIndicatorView* s) { spinner_ = s; }

  std::string className() const override { return "ShareActivityIndicator"; }

 private:
  ShareActivityIndicator();
  kit::Ref<kit::Label> makeLabel(kit::Rect frame, double fontSize) const;
  void showOrPersist();

  kit::Ref<kit::Label> centerMessageLabel_;
  kit::Ref<kit::Label> subMessageLabel_;
  kit::Ref<kit::ActivityIndicatorView> spinner_;
  kit::NotificationCenter::Token rotationToken_;
};

}  // namespace tolva
