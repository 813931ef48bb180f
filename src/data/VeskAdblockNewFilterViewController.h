#pragma once
// The pattern editor: one text field under a help line. Saving an empty
// pattern is refused with an alert; otherwise the edited entry takes the
// text (keeping its count and switch), or a new enabled entry is appended,
// and the editor goes back to the list.

#include "kit/ui/Label.h"
#include "kit/ui/TextField.h"
#include "kit/ui/ViewController.h"

namespace tolva {

class VeskAdblockNewFilterViewController : public kit::ViewController {
 public:
  static constexpr const char* kNibName = "VeskAdblockNewFilterViewController";

  // editingIndex starts at -1: a new entry.
  explicit VeskAdblockNewFilterViewController(std::string nibName = kNibName);

  void onSave();

  void viewDidLoad() override;
  void viewWillAppear(bool animated) override;
  void viewWillDisappear(bool animated) override;
  // Upright portrait only.
  bool shouldAutorotateToInterfaceOrientation(kit::InterfaceOrientation orientation) override;

  long editingIndex() const noexcept { return editingIndex_; }
  void setEditingIndex(long index) { editingIndex_ = index; }

  kit::Label* helpLabel() const noexcept { return helpLabel_.get(); }
  void setHelpLabel(kit::Label* label) { helpLabel_ = kit::Ref<kit::Label>(label); }
  kit::TextField* textField() const noexcept { return textField_.get(); }
  void setTextField(kit::TextField* field) { textField_ = kit::Ref<kit::TextField>(field); }

  // The interface file: the help label above the text field.
  static void registerInterfaceFile();

  std::string className() const override { return "VeskAdblockNewFilterViewController"; }

 private:
  kit::Ref<kit::Label> helpLabel_;
  kit::Ref<kit::TextField> textField_;
  long editingIndex_ = -1;
};

}  // namespace tolva
