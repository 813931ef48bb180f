#pragma once
// One page of the settings description as a grouped table: one section per
// group, one row per specifier, each drawn by a cell that suits its type.
// Values are edited in place (switches, sliders, text fields) or picked from
// value lists; rows open child pages, custom screens reached by class name,
// URLs, a mail composer, or run button actions reached by class name. Every
// edit is written at once into the settings store and announced with
// "kAppSettingChanged" (object: the key; user info: {key: new value}).
//
// The root page is shown by settingsNavigationController(); child pages are
// further instances of this class, one kept per page and reused for every
// child row, like the one value-list screen.
//
// Names in the description that reach nothing are skipped: a custom screen
// whose class (or named initializer) is not registered is handled as a row
// without that class, a button whose class or action is missing does nothing.
// Actions and initializers named by a selector ("onDeleteCaches:key:") are
// looked up under the selector and then under its first keyword.
//
// Delayed calls and observers end with the screen.

#include <optional>
#include <string>
#include <vector>

#include "kit/foundation/NotificationCenter.h"
#include "kit/ui/MailComposeViewController.h"
#include "kit/ui/NavigationController.h"
#include "kit/ui/TableView.h"
#include "kit/ui/TableViewDataSource.h"
#include "kit/ui/TableViewDelegate.h"
#include "kit/ui/TextField.h"
#include "kit/ui/ViewController.h"
#include "settings/PrefAcceptsSettingsDelegate.h"
#include "settings/PrefAcceptsSettingsStore.h"
#include "settings/PrefSettingsDelegate.h"
#include "settings/PrefSettingsReader.h"
#include "settings/PrefSettingsStore.h"

namespace tolva {

class PrefTextField;

class PrefAppSettingsViewController : public kit::ViewController,
                                      public kit::TableViewDataSource,
                                      public kit::TableViewDelegate,
                                      public kit::TextFieldDelegate,
                                      public kit::NavigationControllerDelegate,
                                      public kit::MailComposeViewControllerDelegate,
                                      public PrefAcceptsSettingsDelegate,
                                      public PrefAcceptsSettingsStore {
 public:
  static constexpr const char* kNibName = "PrefAppSettingsView";
  static constexpr const char* kCreditsFooter = "Powered by PrefKit";
  static constexpr double kReloadDelay = 0.5;

  // The browser's settings: the root page of the main bundle's description
  // with a Done button, the delegate told when it is done, inside a
  // navigation controller presented as a form sheet.
  static kit::Ref<kit::NavigationController> settingsNavigationController(PrefSettingsDelegate* delegate);

  explicit PrefAppSettingsViewController(std::string nibName = kNibName);
  ~PrefAppSettingsViewController() override;

  // ---- Properties
  // Made on first use from file().
  PrefSettingsReader* settingsReader();
  // Made on first use: the user-defaults store.
  PrefSettingsStore* settingsStore();
  void setSettingsStore(kit::Ref<PrefSettingsStore> store) override;
  // The description file without extension; "Root" when unset.
  std::string file() const;
  // Drops the reader so that the next use reads the new file.
  void setFile(std::string file);
  PrefSettingsDelegate* delegate() const noexcept { return delegate_; }
  void setDelegate(PrefSettingsDelegate* delegate) override { delegate_ = delegate; }
  const std::optional<kit::IndexPath>& currentIndexPath() const noexcept { return currentIndexPath_; }
  void setCurrentIndexPath(std::optional<kit::IndexPath> p) { currentIndexPath_ = p; }
  kit::TextField* currentFirstResponder() const noexcept { return currentFirstResponder_.get(); }
  bool showCreditsFooter() const noexcept { return showCreditsFooter_; }
  void setShowCreditsFooter(bool s) { showCreditsFooter_ = s; }
  bool showDoneButton() const noexcept { return showDoneButton_; }
  void setShowDoneButton(bool s) { showDoneButton_ = s; }
  kit::TableView* tableView() const noexcept { return tableView_.get(); }
  // The interface file's outlet; this becomes the table's data source and delegate.
  void setTableView(kit::TableView* table);
  const std::optional<kit::IndexPath>& topmostRowBeforeKeyboardWasShown() const noexcept { return topmostRow_; }
  // The value-list and child-page screens made so far (null until first needed).
  kit::ViewController* valuesViewController() const;
  PrefAppSettingsViewController* childPaneViewController() const;

  // ---- Life cycle
  void awakeFromNib() override;
  void viewDidLoad() override;
  void viewWillAppear(bool animated) override;
  kit::Size contentSizeForViewInPopover() const override;
  void viewDidAppear(bool animated) override;
  void viewWillDisappear(bool animated) override;
  void viewDidDisappear(bool animated) override;
  bool shouldAutorotateToInterfaceOrientation(kit::InterfaceOrientation orientation) override;
  void willShowViewController(kit::NavigationController& nav, kit::ViewController& controller, bool animated) override;

  // ---- Actions
  // The Done button.
  void dismiss();
  void toggledValue(kit::Control& sender);
  void sliderChangedValue(kit::Control& sender);
  void synchronizeSettings();
  // Reloads the table kReloadDelay later.
  void reload();
  void scrollToOldPosition();

  // ---- Table
  long numberOfSectionsInTableView(kit::TableView& tableView) override;
  long tableViewNumberOfRowsInSection(kit::TableView& tableView, long section) override;
  double tableViewHeightForRowAtIndexPath(kit::TableView& tableView, const kit::IndexPath& indexPath) override;
  std::string tableViewTitleForHeaderInSection(kit::TableView& tableView, long section) override;
  kit::Ref<kit::View> tableViewViewForHeaderInSection(kit::TableView& tableView, long section) override;
  double tableViewHeightForHeaderInSection(kit::TableView& tableView, long section) override;
  std::string tableViewTitleForFooterInSection(kit::TableView& tableView, long section) override;
  kit::Ref<kit::TableViewCell> tableViewCellForRowAtIndexPath(kit::TableView& tableView,
                                                              const kit::IndexPath& indexPath) override;
  std::optional<kit::IndexPath> tableViewWillSelectRowAtIndexPath(kit::TableView& tableView,
                                                                  const kit::IndexPath& indexPath) override;
  void tableViewDidSelectRowAtIndexPath(kit::TableView& tableView, const kit::IndexPath& indexPath) override;

  // ---- Mail, text fields, keyboard
  void mailComposeControllerDidFinish(kit::MailComposeViewController& controller, kit::MailComposeResult result,
                                      kit::Error* error) override;
  bool textFieldShouldBeginEditing(kit::TextField& field) override;
  void textFieldDidBeginEditing(kit::TextField& field) override;
  void textFieldDidEndEditing(kit::TextField& field) override;
  bool textFieldShouldReturn(kit::TextField& field) override;
  void keyboardWillShow(const kit::Notification& note);
  void keyboardWillHide(const kit::Notification& note);

  std::string className() const override { return "PrefAppSettingsViewController"; }

 private:
  struct ViewListEntry {
    std::string viewName;
    kit::Ref<kit::ViewController> viewController;
  };

  void postChange(const std::string& key, kit::Ref<kit::Object> value);
  bool isTopScreen();
  void openChildPane(PrefSpecifier& specifier, const kit::IndexPath& indexPath);
  void runButton(PrefSpecifier& specifier);
  void composeMail(PrefSpecifier& specifier);
  // A free cell of that identifier, else the first object of the interface file.
  kit::Ref<kit::TableViewCell> cellFromInterfaceFile(const std::string& name, kit::TableView& tableView,
                                                     const std::string& reuseIdentifier, bool* created);

  PrefSettingsDelegate* delegate_ = nullptr;
  kit::Ref<kit::TableView> tableView_;
  std::vector<ViewListEntry> viewList_;
  std::optional<kit::IndexPath> currentIndexPath_;
  std::optional<kit::IndexPath> topmostRow_;
  kit::Ref<PrefSettingsReader> settingsReader_;
  kit::Ref<PrefSettingsStore> settingsStore_;
  std::string file_;
  kit::Ref<kit::TextField> currentFirstResponder_;
  bool showCreditsFooter_ = true;
  bool showDoneButton_ = true;
  kit::WeakRef<kit::NavigationController> navigationDelegateOf_;
  std::vector<kit::WeakRef<PrefTextField>> textFields_;
  kit::NotificationCenter::Token backgroundObserver_;
  kit::NotificationCenter::Token foregroundObserver_;
  kit::NotificationCenter::Token terminateObserver_;
  kit::NotificationCenter::Token keyboardShowObserver_;
  kit::NotificationCenter::Token keyboardHideObserver_;
};

}  // namespace tolva
