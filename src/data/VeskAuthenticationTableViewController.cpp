#include "data/VeskAuthenticationTableViewController.h"

#include "common/LocalizedText.h"
#include "data/VeskPagePasswordDatabase.h"
#include "kit/foundation/String.h"
#include "kit/foundation/URL.h"
#include "kit/ui/AlertView.h"
#include "kit/ui/BarButtonItem.h"
#include "kit/ui/Device.h"
#include "kit/ui/NavigationController.h"
#include "kit/ui/NavigationItem.h"
#include "settings/PrefAutorotation.h"

namespace tolva {
namespace {

std::string hostOf(const std::string& url) {
  kit::Ref<kit::URL> u = kit::URL::URLWithString(url);
  if (!u) u = kit::URL::lenientURLWithString(url);
  return u ? u->host() : std::string();
}

std::string textOf(const kit::Dictionary* fields, const char* key) {
  auto* v = fields ? fields->get<kit::String>(key) : nullptr;
  return v ? v->str() : std::string();
}

}  // namespace

VeskAuthenticationTableViewController::VeskAuthenticationTableViewController(kit::TableView::Style style)
    : kit::TableViewController(style) {
  setTitle(LocalizedText::localized("Authentication"));
  navigationItem()->setRightBarButtonItem(
      kit::BarButtonItem::withTitle(LocalizedText::localized("Login"), kit::BarButtonItem::Style::Done, "onSave:",
                                    [this](kit::BarButtonItem& b) { onSave(&b); }));
  navigationItem()->setLeftBarButtonItem(
      kit::BarButtonItem::withTitle(LocalizedText::localized("Cancel"), kit::BarButtonItem::Style::Bordered,
                                    "onCancel:", [this](kit::BarButtonItem& b) { onCancel(&b); }));
}

VeskAuthenticationTableViewController::~VeskAuthenticationTableViewController() {
  if (userField_) userField_->setDelegate(nullptr);
  if (passwordField_) passwordField_->setDelegate(nullptr);
}

void VeskAuthenticationTableViewController::setVeskWebView(VeskPageTarget* page) {
  veskWebView_ = dynamic_cast<kit::Object*>(page);
}

// ---- Buttons

void VeskAuthenticationTableViewController::close() {
  if (kit::Ref<kit::PopoverController> popover = pop_.lock()) {
    popover->dismissPopoverAnimated(true);
    return;
  }
  kit::ViewController* presented = navigationController() ? static_cast<kit::ViewController*>(navigationController())
                                                          : static_cast<kit::ViewController*>(this);
  presented->dismissViewControllerAnimated(true);
}

void VeskAuthenticationTableViewController::onCancel(kit::Object*) {
  kit::Ref<VeskAuthenticationTableViewController> keep(this);
  close();
}

void VeskAuthenticationTableViewController::onSave(kit::Object*) {
  kit::Ref<VeskAuthenticationTableViewController> keep(this);
  const std::string user = userField_ ? userField_->text() : std::string();
  const std::string password = passwordField_ ? passwordField_->text() : std::string();
  if (user.empty() || password.empty()) {
    kit::Ref<kit::AlertView> alert(new kit::AlertView("", LocalizedText::localized("Invalid input."), nullptr,
                                                      LocalizedText::localized("Cancel")));
    alert->show();
    return;
  }
  // Closing lets go of the page and the URL: take them first.
  kit::Ref<kit::Object> keepPage = veskWebView_;
  VeskPageTarget* page = veskWebView();
  const std::string url = urlStr_;
  close();
  if (page) page->loadRequest(url, user, password);
}

bool VeskAuthenticationTableViewController::textFieldShouldReturn(kit::TextField&) {
  onSave(nullptr);
  return false;
}

// ---- Appearance

void VeskAuthenticationTableViewController::viewWillAppear(bool animated) {
  kit::TableViewController::viewWillAppear(animated);
  if (kit::Ref<kit::MutableDictionary> saved = VeskPagePasswordDatabase::sharedInstance()->retrieveByURL(hostOf(urlStr_))) {
    savedPassword_ = textOf(saved.get(), "password");
    savedId_ = textOf(saved.get(), "login");
  }
  if (userField_) userField_->setText(savedId_);
  if (passwordField_) passwordField_->setText(savedPassword_);
}

void VeskAuthenticationTableViewController::viewDidDisappear(bool animated) {
  kit::TableViewController::viewDidDisappear(animated);
  urlStr_.clear();
  veskWebView_ = nullptr;
  savedPassword_.clear();
  savedId_.clear();
  if (passwordField_) passwordField_->setText(std::string());
}

bool VeskAuthenticationTableViewController::shouldAutorotateToInterfaceOrientation(
    kit::InterfaceOrientation orientation) {
  return PrefAutorotation::shouldAutorotate(this, orientation);
}

// ---- Table

long VeskAuthenticationTableViewController::numberOfSectionsInTableView(kit::TableView&) { return 1; }

long VeskAuthenticationTableViewController::tableViewNumberOfRowsInSection(kit::TableView&, long) { return 2; }

std::string VeskAuthenticationTableViewController::tableViewTitleForFooterInSection(kit::TableView&, long) {
  return urlStr_;
}

std::optional<kit::IndexPath> VeskAuthenticationTableViewController::tableViewWillSelectRowAtIndexPath(
    kit::TableView&, const kit::IndexPath&) {
  return std::nullopt;
}

kit::TextField* VeskAuthenticationTableViewController::fieldForRow(long row) {
  kit::Ref<kit::TextField>& field = row == 0 ? userField_ : passwordField_;
  if (field) return field.get();
  const bool pad = kit::Device::currentDevice().isPad();
  field = kit::make<kit::TextField>(kit::Rect(pad ? 40 : 20, 10, pad ? 420 : 275, 30));
  field->setAdjustsFontSizeToFitWidth(true);
  field->setTextColor(kit::Color::blackColor());
  field->setBackgroundColor(kit::Color::clearColor());
  field->setAutocorrectionType(kit::TextAutocorrectionType::No);
  field->setAutocapitalizationType(kit::TextAutocapitalizationType::None);
  field->setTextAlignment(kit::TextAlignment::Left);
  field->setClearButtonMode(kit::TextField::ViewMode::WhileEditing);
  field->setReturnKeyType(kit::ReturnKeyType::Done);
  field->setDelegate(this);
  if (row == 0) {
    field->setPlaceholder(LocalizedText::localized("Username"));
    field->setText(savedId_);
  } else {
    field->setPlaceholder(LocalizedText::localized("Password"));
    field->setSecureTextEntry(true);
    field->setText(savedPassword_);
  }
  return field.get();
}

kit::Ref<kit::TableViewCell> VeskAuthenticationTableViewController::tableViewCellForRowAtIndexPath(
    kit::TableView&, const kit::IndexPath& indexPath) {
  kit::Ref<kit::TableViewCell> cell = kit::TableViewCell::cell(kit::TableViewCell::Style::Default);
  cell->setSelectionStyle(kit::TableViewCell::SelectionStyle::None);
  kit::TextField* field = fieldForRow(indexPath.row == 0 ? 0 : 1);
  field->removeFromSuperview();
  cell->contentView()->addSubview(field);
  if (indexPath.row == 0) field->becomeFirstResponder();
  return cell;
}

}  // namespace tolva
