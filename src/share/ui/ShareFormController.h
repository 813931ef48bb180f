#pragma once
// The one kind of screen through which sharers ask for data: sections of
// labelled fields (text, password, switch, option list). The owner (a sharer,
// not retained) gets the form through three actions: validate (the right
// button or the return key), save and cancel. Values of rows scrolled out of
// view or reused are kept in `values`.

#include <functional>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "kit/ui/TableViewController.h"
#include "kit/ui/TextField.h"
#include "share/ui/ShareFormFieldSettings.h"
#include "share/ui/ShareFormOptionControllerClient.h"

namespace tolva {

class ShareFormController : public kit::TableViewController,
                            public kit::TextFieldDelegate,
                            public ShareFormOptionControllerClient {
 public:
  using Action = std::function<void(ShareFormController* form)>;
  using Values = std::map<std::string, std::string>;
  struct Section {
    std::vector<kit::Ref<ShareFormFieldSettings>> rows;
    std::string header;
    std::string footer;
  };

  ShareFormController(kit::TableView::Style style, std::string title, std::string rightButtonTitle);

  void addSection(std::vector<kit::Ref<ShareFormFieldSettings>> rows, std::string header = {},
                  std::string footer = {});

  void viewDidAppear(bool animated) override;
  void viewDidDisappear(bool animated) override;
  void viewDidLoad() override;
  void tableViewDidSelectRowAtIndexPath(kit::TableView& tableView, const kit::IndexPath& indexPath) override;
  long numberOfSectionsInTableView(kit::TableView& tableView) override;
  long tableViewNumberOfRowsInSection(kit::TableView& tableView, long section) override;
  kit::Ref<kit::TableViewCell> tableViewCellForRowAtIndexPath(kit::TableView& tableView,
                                                             const kit::IndexPath& indexPath) override;
  ShareFormFieldSettings* rowSettingsForIndexPath(const kit::IndexPath& indexPath) const;
  std::string tableViewTitleForHeaderInSection(kit::TableView& tableView, long section) override;
  std::string tableViewTitleForFooterInSection(kit::TableView& tableView, long section) override;
  bool shouldAutorotateToInterfaceOrientation(kit::InterfaceOrientation orientation) override;
  bool textFieldShouldReturn(kit::TextField& field) override;
  void textFieldDidBeginEditing(kit::TextField& field) override;
  void ShareFormOptionController(tolva::ShareFormOptionController* picker,
                                 const std::optional<std::string>& pickedOption) override;

  void close();
  void cancel();
  void validateForm();
  void saveForm();
  Values formValues() { return formValuesForSection(0); }
  // One value of `values`; "" when the form has no such field.
  static std::string valueOf(const Values& values, std::string_view key);
  Values formValuesForSection(long section);

  kit::Object* delegate() const noexcept { return delegate_; }
  void setDelegate(kit::Object* d) { delegate_ = d; }
  void setValidateSelector(Action a) { validateSelector_ = std::move(a); }
  void setSaveSelector(Action a) { saveSelector_ = std::move(a); }
  void setCancelSelector(Action a) { cancelSelector_ = std::move(a); }
  const std::vector<Section>& sections() const noexcept { return sections_; }
  Values& values() noexcept { return values_; }
  double labelWidth() const noexcept { return labelWidth_; }
  void setLabelWidth(double w) { labelWidth_ = w; }
  kit::TextField* activeField() const noexcept { return activeField_.get(); }
  void setActiveField(kit::TextField* f) { activeField_ = f; }
  bool autoSelect() const noexcept { return autoSelect_; }
  void setAutoSelect(bool a) { autoSelect_ = a; }

  std::string className() const override { return "ShareFormController"; }

 private:
  std::optional<kit::IndexPath> indexPathOfSettings(const ShareFormFieldSettings* settings) const;

  kit::Object* delegate_ = nullptr;
  Action validateSelector_;
  Action saveSelector_;
  Action cancelSelector_;
  std::vector<Section> sections_;
  Values values_;
  double labelWidth_ = 0;
  kit::Ref<kit::TextField> activeField_;
  bool autoSelect_ = false;
};

}  // namespace tolva
