#include "settings/PrefAppSettingsViewController.h"

#include <algorithm>

#include "kit/foundation/Bundle.h"
#include "kit/foundation/ClassRegistry.h"
#include "kit/foundation/Null.h"
#include "kit/foundation/Number.h"
#include "kit/foundation/RunLoop.h"
#include "kit/foundation/String.h"
#include "kit/foundation/URL.h"
#include "kit/ui/AlertView.h"
#include "kit/ui/Application.h"
#include "kit/ui/BarButtonItem.h"
#include "kit/ui/Device.h"
#include "kit/ui/GeometryValue.h"
#include "kit/ui/Image.h"
#include "kit/ui/InterfaceFile.h"
#include "kit/ui/Label.h"
#include "kit/ui/NavigationItem.h"
#include "kit/ui/TextMeasurement.h"
#include "kit/ui/Window.h"
#include "settings/PrefAutorotation.h"
#include "settings/PrefPSSliderSpecifierViewCell.h"
#include "settings/PrefPSTextFieldSpecifierViewCell.h"
#include "settings/PrefPSTitleValueSpecifierViewCell.h"
#include "settings/PrefPSToggleSwitchSpecifierViewCell.h"
#include "settings/PrefSettingsNotification.h"
#include "settings/PrefSettingsRegistration.h"
#include "settings/PrefSettingsStoreUserDefaults.h"
#include "settings/PrefSpecifierValuesViewController.h"

namespace tolva {
namespace {

constexpr const char* kValuesViewName = "PrefSpecifierValuesView";
constexpr const char* kChildViewName = "PrefAppSettingsView";

std::string localizedInMainBundle(const std::string& text) {
  return kit::Bundle::mainBundle()->localizedStringForKey(text);
}

// A stored value read as a switch state: numbers and strings by their
// value, anything else (arrays, dictionaries, data) as off.
bool boolOf(const kit::Object* o) {
  if (auto* n = dynamic_cast<const kit::Number*>(o)) return n->boolValue();
  if (auto* s = dynamic_cast<const kit::String*>(o)) return s->boolValue();
  return false;
}

// A stored value read as a slider position; anything but a number or a string is 0.
float floatOf(const kit::Object* o) {
  if (auto* n = dynamic_cast<const kit::Number*>(o)) return n->floatValue();
  if (auto* s = dynamic_cast<const kit::String*>(o)) return s->floatValue();
  return 0;
}

std::vector<std::string> stringsOf(const kit::Object* o) {
  std::vector<std::string> out;
  if (auto* a = dynamic_cast<const kit::Array*>(o)) {
    for (kit::Object* item : *a) {
      if (auto* s = dynamic_cast<kit::String*>(item)) out.push_back(s->str());
    }
  }
  return out;
}

// The names a selector kept as data may be registered under: as written, then its first keyword.
std::vector<std::string> functionNamesFor(const std::string& selector) {
  std::vector<std::string> names{selector};
  size_t colon = selector.find(':');
  if (colon != std::string::npos && colon > 0) names.push_back(selector.substr(0, colon));
  return names;
}

kit::TableViewCell* enclosingCell(kit::View* view) {
  for (kit::View* v = view; v; v = v->superview()) {
    if (auto* cell = dynamic_cast<kit::TableViewCell*>(v)) return cell;
  }
  return nullptr;
}

std::string htmlLines(const std::string& text) {
  std::string out;
  for (char c : text) {
    if (c == '\n') {
      out += "<br>";
    } else {
      out += c;
    }
  }
  return out;
}

}  // namespace

kit::Ref<kit::NavigationController> PrefAppSettingsViewController::settingsNavigationController(
    PrefSettingsDelegate* delegate) {
  kit::Ref<PrefAppSettingsViewController> root(new PrefAppSettingsViewController(kNibName));
  root->setDelegate(delegate);
  root->setShowDoneButton(true);
  kit::Ref<kit::NavigationController> nav = kit::NavigationController::withRootViewController(root.get());
  nav->setModalPresentationStyle(kit::ViewController::ModalPresentationStyle::FormSheet);
  return nav;
}

PrefAppSettingsViewController::PrefAppSettingsViewController(std::string nibName)
    : kit::ViewController(std::move(nibName)) {
  registerPrefSettingsKit();
}

PrefAppSettingsViewController::~PrefAppSettingsViewController() {
  kit::RunLoop::main().cancelPreviousPerformRequests(this);
  if (tableView_) {
    if (tableView_->dataSource() == this) tableView_->setDataSource(nullptr);
    if (tableView_->delegate() == this) tableView_->setDelegate(nullptr);
  }
  if (auto nav = navigationDelegateOf_.lock(); nav && nav->delegate() == this) nav->setDelegate(nullptr);
  for (auto& weak : textFields_) {
    if (auto field = weak.lock(); field && field->delegate() == this) field->setDelegate(nullptr);
  }
}

// ---- Properties

PrefSettingsReader* PrefAppSettingsViewController::settingsReader() {
  if (!settingsReader_) settingsReader_ = kit::make<PrefSettingsReader>(file());
  return settingsReader_.get();
}

PrefSettingsStore* PrefAppSettingsViewController::settingsStore() {
  if (!settingsStore_) settingsStore_ = kit::make<PrefSettingsStoreUserDefaults>();
  return settingsStore_.get();
}

void PrefAppSettingsViewController::setSettingsStore(kit::Ref<PrefSettingsStore> store) {
  settingsStore_ = std::move(store);
}

std::string PrefAppSettingsViewController::file() const { return file_.empty() ? std::string("Root") : file_; }

void PrefAppSettingsViewController::setFile(std::string file) {
  file_ = std::move(file);
  settingsReader_ = nullptr;
}

void PrefAppSettingsViewController::setTableView(kit::TableView* table) {
  if (tableView_ && tableView_.get() != table) {
    if (tableView_->dataSource() == this) tableView_->setDataSource(nullptr);
    if (tableView_->delegate() == this) tableView_->setDelegate(nullptr);
  }
  tableView_ = table;
  if (table) {
    table->setDataSource(this);
    table->setDelegate(this);
  }
}

kit::ViewController* PrefAppSettingsViewController::valuesViewController() const {
  return viewList_.empty() ? nullptr : viewList_[0].viewController.get();
}

PrefAppSettingsViewController* PrefAppSettingsViewController::childPaneViewController() const {
  return viewList_.size() < 2 ? nullptr : kit::cast<PrefAppSettingsViewController>(viewList_[1].viewController);
}

// ---- Life cycle

void PrefAppSettingsViewController::awakeFromNib() {
  kit::ViewController::awakeFromNib();
  showCreditsFooter_ = true;
  showDoneButton_ = false;
}

void PrefAppSettingsViewController::viewDidLoad() {
  kit::ViewController::viewDidLoad();
  viewList_ = {{kValuesViewName, nullptr}, {kChildViewName, nullptr}};
  if (kit::NavigationController* nav = navigationController()) nav->setToolbarHidden(false);
}

void PrefAppSettingsViewController::viewWillAppear(bool animated) {
  kit::ViewController::viewWillAppear(animated);
  kit::NavigationController* nav = navigationController();
  if (nav) nav->setToolbarHidden(true);
  if (tableView_) {
    tableView_->reloadData();
    tableView_->setFrame(view()->bounds());
  }
  navigationItem()->setRightBarButtonItem(nullptr);
  if (nav) {
    nav->setDelegate(this);
    navigationDelegateOf_ = nav;
  }
  if (showDoneButton_) {
    kit::WeakRef<PrefAppSettingsViewController> weak(this);
    navigationItem()->setRightBarButtonItem(
        kit::BarButtonItem::withSystemItem(kit::BarButtonItem::SystemItem::Done, "dismiss:", [weak](kit::BarButtonItem&) {
          if (auto self = weak.lock()) self->dismiss();
        }));
  }
  if (title().empty()) setTitle(localizedInMainBundle("Settings"));
  if (currentIndexPath_) {
    if (animated && tableView_) {
      tableView_->selectRowAtIndexPath(currentIndexPath_, false, kit::TableView::ScrollPosition::None);
      tableView_->deselectRowAtIndexPath(*currentIndexPath_, true);
    }
    currentIndexPath_.reset();
  }
}

kit::Size PrefAppSettingsViewController::contentSizeForViewInPopover() const {
  auto* self = const_cast<PrefAppSettingsViewController*>(this);
  return self->view()->sizeThatFits({320, 2000});
}

void PrefAppSettingsViewController::viewDidAppear(bool animated) {
  kit::ViewController::viewDidAppear(animated);
  if (tableView_) tableView_->flashScrollIndicators();
  auto& center = kit::NotificationCenter::defaultCenter();
  kit::WeakRef<PrefAppSettingsViewController> weak(this);
  auto call = [weak](void (PrefAppSettingsViewController::*fn)()) {
    return [weak, fn](const kit::Notification&) {
      if (auto self = weak.lock()) ((*self).*fn)();
    };
  };
  if (kit::Device::currentDevice().isMultitaskingSupported()) {
    backgroundObserver_ = center.addObserver(kit::Application::kDidEnterBackgroundNotification, nullptr,
                                             call(&PrefAppSettingsViewController::synchronizeSettings));
    foregroundObserver_ = center.addObserver(kit::Application::kWillEnterForegroundNotification, nullptr,
                                             call(&PrefAppSettingsViewController::reload));
  }
  terminateObserver_ = center.addObserver(kit::Application::kWillTerminateNotification, nullptr,
                                          call(&PrefAppSettingsViewController::synchronizeSettings));
  keyboardShowObserver_ = center.addObserver(kit::Application::kKeyboardWillShowNotification, nullptr,
                                             [weak](const kit::Notification& note) {
                                               if (auto self = weak.lock()) self->keyboardWillShow(note);
                                             });
  keyboardHideObserver_ = center.addObserver(kit::Application::kKeyboardWillHideNotification, nullptr,
                                             [weak](const kit::Notification& note) {
                                               if (auto self = weak.lock()) self->keyboardWillHide(note);
                                             });
}

void PrefAppSettingsViewController::viewWillDisappear(bool animated) {
  kit::ViewController::viewWillDisappear(animated);
  keyboardShowObserver_.reset();
  if (currentFirstResponder_) currentFirstResponder_->resignFirstResponder();
}

void PrefAppSettingsViewController::viewDidDisappear(bool animated) {
  kit::ViewController::viewDidDisappear(animated);
  backgroundObserver_.reset();
  foregroundObserver_.reset();
  terminateObserver_.reset();
  keyboardHideObserver_.reset();
}

bool PrefAppSettingsViewController::shouldAutorotateToInterfaceOrientation(kit::InterfaceOrientation o) {
  return PrefAutorotation::shouldAutorotate(this, o);
}

void PrefAppSettingsViewController::willShowViewController(kit::NavigationController&, kit::ViewController& controller,
                                                           bool) {
  if (dynamic_cast<PrefAppSettingsViewController*>(&controller)) return;
  if (dynamic_cast<PrefSpecifierValuesViewController*>(&controller)) return;
  dismiss();
}

// ---- Actions

void PrefAppSettingsViewController::dismiss() {
  kit::Ref<PrefAppSettingsViewController> keep(this);
  if (currentFirstResponder_ && currentFirstResponder_->canResignFirstResponder()) {
    currentFirstResponder_->resignFirstResponder();
  }
  if (kit::NavigationController* nav = navigationController(); nav && nav->delegate() == this) {
    nav->setDelegate(nullptr);
  }
  if (delegate_) delegate_->settingsViewControllerDidEnd(*this);
}

void PrefAppSettingsViewController::postChange(const std::string& key, kit::Ref<kit::Object> value) {
  kit::Ref<kit::MutableDictionary> info = kit::MutableDictionary::dictionary();
  info->setObject(value ? value : kit::Ref<kit::Object>(kit::Null::null()), key);
  kit::Ref<kit::String> sender = kit::str(key);
  kit::NotificationCenter::defaultCenter().postNotification(kAppSettingChanged, sender.get(), info);
}

void PrefAppSettingsViewController::toggledValue(kit::Control& sender) {
  auto* toggle = dynamic_cast<PrefSwitch*>(&sender);
  if (!toggle) return;
  std::string key = toggle->key();
  PrefSpecifier* specifier = settingsReader()->specifierForKey(key);
  kit::Object* stored = nullptr;
  if (specifier) stored = toggle->isOn() ? specifier->trueValue() : specifier->falseValue();
  if (stored) {
    settingsStore()->setObject(stored, key);
  } else {
    settingsStore()->setBool(toggle->isOn(), key);
  }
  postChange(key, settingsStore()->objectForKey(key));
}

void PrefAppSettingsViewController::sliderChangedValue(kit::Control& sender) {
  auto* slider = dynamic_cast<PrefSlider*>(&sender);
  if (!slider) return;
  float value = static_cast<float>(slider->value());
  settingsStore()->setFloat(value, slider->key());
  postChange(slider->key(), kit::Number::numberWithFloat(value));
}

void PrefAppSettingsViewController::synchronizeSettings() { settingsStore()->synchronize(); }

void PrefAppSettingsViewController::reload() {
  kit::WeakRef<PrefAppSettingsViewController> weak(this);
  kit::RunLoop::main().performAfterDelay(this, "reload", nullptr, kReloadDelay, [weak] {
    auto self = weak.lock();
    if (self && self->tableView_) self->tableView_->reloadData();
  });
}

void PrefAppSettingsViewController::scrollToOldPosition() {
  if (!tableView_ || !topmostRow_) return;
  kit::IndexPath p = *topmostRow_;
  if (p.section >= tableView_->numberOfSections() || p.row >= tableView_->numberOfRowsInSection(p.section)) return;
  tableView_->scrollToRowAtIndexPath(p, kit::TableView::ScrollPosition::Top, true);
}

// ---- Table data

long PrefAppSettingsViewController::numberOfSectionsInTableView(kit::TableView&) {
  return settingsReader()->numberOfSections();
}

long PrefAppSettingsViewController::tableViewNumberOfRowsInSection(kit::TableView&, long section) {
  return settingsReader()->numberOfRowsForSection(section);
}

double PrefAppSettingsViewController::tableViewHeightForRowAtIndexPath(kit::TableView& tableView,
                                                                       const kit::IndexPath& indexPath) {
  PrefSpecifier* specifier = settingsReader()->specifierForIndexPath(indexPath);
  if (specifier && specifier->type() == kPrefCustomViewSpecifier) {
    std::optional<double> h = delegate_ ? delegate_->tableViewHeightForSpecifier(tableView, *specifier) : std::nullopt;
    return h ? std::max(0.0, *h) : 0;
  }
  return tableView.rowHeight();
}

std::string PrefAppSettingsViewController::tableViewTitleForHeaderInSection(kit::TableView&, long section) {
  return settingsReader()->titleForSection(section);
}

kit::Ref<kit::View> PrefAppSettingsViewController::tableViewViewForHeaderInSection(kit::TableView& tableView,
                                                                                   long section) {
  if (!delegate_) return nullptr;
  return delegate_->tableViewViewForHeaderForKey(tableView, settingsReader()->keyForSection(section));
}

double PrefAppSettingsViewController::tableViewHeightForHeaderInSection(kit::TableView& tableView, long section) {
  if (delegate_) {
    std::string key = settingsReader()->keyForSection(section);
    if (delegate_->tableViewViewForHeaderForKey(tableView, key)) {
      std::optional<double> h = delegate_->tableViewHeightForHeaderForKey(tableView, key);
      if (h && *h != 0) return *h;
    }
  }
  std::string title = settingsReader()->titleForSection(section);
  if (title.empty()) return 0;
  double width = std::max(0.0, tableView.bounds().width() - 38);
  return kit::TextMeasurement::sizeOfText(title, kit::Font::boldSystemFont(kit::Font::labelFontSize()), width).height + 15;
}

std::string PrefAppSettingsViewController::tableViewTitleForFooterInSection(kit::TableView&, long section) {
  PrefSettingsReader* reader = settingsReader();
  std::string footer = reader->footerTextForSection(section);
  if (showCreditsFooter_ && section == reader->numberOfSections() - 1) {
    return footer.empty() ? std::string(kCreditsFooter) : footer + "\n\n" + kCreditsFooter;
  }
  return footer;
}

kit::Ref<kit::TableViewCell> PrefAppSettingsViewController::cellFromInterfaceFile(const std::string& name,
                                                                                  kit::TableView& tableView,
                                                                                  const std::string& reuseIdentifier,
                                                                                  bool* created) {
  *created = false;
  if (kit::Ref<kit::TableViewCell> reused = tableView.dequeueReusableCellWithIdentifier(reuseIdentifier)) return reused;
  *created = true;
  for (const auto& object : kit::InterfaceFile::load(name, this)) {
    if (auto* cell = dynamic_cast<kit::TableViewCell*>(object.get())) return cell;
    break;  // the cell is the file's first object
  }
  return nullptr;
}

kit::Ref<kit::TableViewCell> PrefAppSettingsViewController::tableViewCellForRowAtIndexPath(
    kit::TableView& tableView, const kit::IndexPath& indexPath) {
  PrefSpecifier* specifier = settingsReader()->specifierForIndexPath(indexPath);
  if (!specifier) return kit::TableViewCell::cell(kit::TableViewCell::Style::Default);
  std::string type = specifier->type();
  std::string key = specifier->key();
  kit::Ref<kit::Object> stored = key.empty() ? nullptr : settingsStore()->objectForKey(key);
  kit::Object* storedOrDefault = stored ? stored.get() : specifier->defaultValue();
  kit::WeakRef<PrefAppSettingsViewController> weak(this);

  if (type == kPrefCustomViewSpecifier && delegate_) {
    if (kit::Ref<kit::TableViewCell> cell = delegate_->tableViewCellForSpecifier(tableView, *specifier)) return cell;
  }

  if (type == kPSToggleSwitchSpecifier) {
    bool created = false;
    kit::Ref<kit::TableViewCell> made =
        cellFromInterfaceFile("PrefPSToggleSwitchSpecifierViewCell", tableView, type, &created);
    kit::Ref<PrefPSToggleSwitchSpecifierViewCell> cell(kit::cast<PrefPSToggleSwitchSpecifierViewCell>(made));
    if (!cell) cell = kit::make<PrefPSToggleSwitchSpecifierViewCell>();
    cell->label()->setText(specifier->title());
    bool on;
    if (stored) {
      if (kit::isEqual(stored.get(), specifier->trueValue())) {
        on = true;
      } else if (kit::isEqual(stored.get(), specifier->falseValue())) {
        on = false;
      } else {
        on = boolOf(stored.get());
      }
    } else {
      on = specifier->defaultBoolValue();
    }
    cell->toggle()->setOn(on);
    cell->toggle()->setKey(key);
    cell->toggle()->addTarget("toggledValue:", kit::Control::ValueChanged, [weak](kit::Control& sender) {
      if (auto self = weak.lock()) self->toggledValue(sender);
    });
    return cell;
  }

  if (type == kPSMultiValueSpecifier || type == kPSTitleValueSpecifier || type == kPSChildPaneSpecifier ||
      type == kPrefOpenURLSpecifier || type == kPrefMailComposeSpecifier) {
    kit::Ref<kit::TableViewCell> reused = tableView.dequeueReusableCellWithIdentifier(type);
    kit::Ref<PrefPSTitleValueSpecifierViewCell> cell(kit::cast<PrefPSTitleValueSpecifierViewCell>(reused));
    if (!cell) cell = kit::make<PrefPSTitleValueSpecifierViewCell>(type);
    cell->textLabel()->setText(specifier->title());
    std::string detail;
    if (type == kPSMultiValueSpecifier) {
      detail = specifier->titleForCurrentValue(storedOrDefault).value_or("");
    } else if (type == kPSTitleValueSpecifier) {
      bool hasList = specifier->specifierDict()->objectForKey("Values") || specifier->specifierDict()->objectForKey("Titles");
      if (hasList) {
        detail = specifier->titleForCurrentValue(storedOrDefault).value_or("");
      } else if (storedOrDefault) {
        detail = storedOrDefault->description();
      }
    } else if (type == kPrefOpenURLSpecifier || type == kPrefMailComposeSpecifier) {
      detail = specifier->defaultStringValue();
    }
    cell->detailTextLabel()->setText(detail);
    if (type == kPSTitleValueSpecifier) {
      cell->setAccessoryType(kit::TableViewCell::AccessoryType::None);
      cell->setUserInteractionEnabled(false);
    } else {
      cell->setAccessoryType(kit::TableViewCell::AccessoryType::DisclosureIndicator);
    }
    cell->setNeedsLayout();
    return cell;
  }

  if (type == kPSTextFieldSpecifier) {
    bool created = false;
    kit::Ref<kit::TableViewCell> made =
        cellFromInterfaceFile("PrefPSTextFieldSpecifierViewCell", tableView, type, &created);
    kit::Ref<PrefPSTextFieldSpecifierViewCell> cell(kit::cast<PrefPSTextFieldSpecifierViewCell>(made));
    if (!cell) {
      cell = kit::make<PrefPSTextFieldSpecifierViewCell>();
      created = true;
    }
    if (created) {
      cell->textField()->setTextAlignment(kit::TextAlignment::Left);
      cell->textField()->setReturnKeyType(kit::ReturnKeyType::Done);
      cell->setAccessoryType(kit::TableViewCell::AccessoryType::None);
    }
    cell->label()->setText(specifier->title());
    PrefTextField* field = cell->textField();
    if (auto* s = dynamic_cast<kit::String*>(stored.get())) {
      field->setText(s->str());
    } else if (stored) {
      field->setText(stored->description());
    } else {
      field->setText(specifier->defaultStringValue());
    }
    field->setKey(key);
    if (field->delegate() != this) {
      field->setDelegate(this);
      textFields_.emplace_back(field);
    }
    // Typing alone stores nothing; the value is stored when editing ends.
    field->addTarget("_textChanged:", kit::Control::EditingChanged, [](kit::Control&) {});
    field->setSecureTextEntry(specifier->isSecure());
    field->setKeyboardType(specifier->keyboardType());
    field->setAutocapitalizationType(specifier->autocapitalizationType());
    field->setAutocorrectionType(specifier->autoCorrectionType());
    cell->setNeedsLayout();
    return cell;
  }

  if (type == kPSSliderSpecifier) {
    bool created = false;
    kit::Ref<kit::TableViewCell> made = cellFromInterfaceFile("PrefPSSliderSpecifierViewCell", tableView, type, &created);
    kit::Ref<PrefPSSliderSpecifierViewCell> cell(kit::cast<PrefPSSliderSpecifierViewCell>(made));
    if (!cell) cell = kit::make<PrefPSSliderSpecifierViewCell>();
    // The picture of the file beside the description; none when it is missing or no picture.
    auto imageNamed = [this](const std::string& name) -> kit::Ref<kit::Image> {
      if (name.empty()) return nullptr;
      return kit::Image::imageWithContentsOfFile(settingsReader()->pathForImageNamed(name));
    };
    cell->minImage()->setImage(imageNamed(specifier->minimumValueImage()));
    cell->maxImage()->setImage(imageNamed(specifier->maximumValueImage()));
    PrefSlider* slider = cell->slider();
    slider->setMinimumValue(specifier->minimumValue());
    slider->setMaximumValue(specifier->maximumValue());
    slider->setValue(floatOf(storedOrDefault));
    slider->setKey(key);
    slider->addTarget("sliderChangedValue:", kit::Control::ValueChanged, [weak](kit::Control& sender) {
      if (auto self = weak.lock()) self->sliderChangedValue(sender);
    });
    cell->setNeedsLayout();
    return cell;
  }

  kit::Ref<kit::TableViewCell> cell = tableView.dequeueReusableCellWithIdentifier(type);
  if (!cell) cell = kit::TableViewCell::cell(kit::TableViewCell::Style::Default, type);
  cell->textLabel()->setText(specifier->title());
  if (type == kPrefButtonSpecifier) cell->textLabel()->setTextAlignment(kit::TextAlignment::Left);
  return cell;
}

std::optional<kit::IndexPath> PrefAppSettingsViewController::tableViewWillSelectRowAtIndexPath(
    kit::TableView&, const kit::IndexPath& indexPath) {
  PrefSpecifier* specifier = settingsReader()->specifierForIndexPath(indexPath);
  if (specifier && specifier->type() == kPSToggleSwitchSpecifier) return std::nullopt;
  return indexPath;
}

void PrefAppSettingsViewController::tableViewDidSelectRowAtIndexPath(kit::TableView& tableView,
                                                                     const kit::IndexPath& indexPath) {
  kit::Ref<PrefAppSettingsViewController> keep(this);
  kit::Ref<PrefSpecifier> specifier(settingsReader()->specifierForIndexPath(indexPath));
  if (!specifier) {
    tableView.deselectRowAtIndexPath(indexPath, false);
    return;
  }
  std::string type = specifier->type();

  if (type == kPSToggleSwitchSpecifier || type == kPSSliderSpecifier) {
    tableView.deselectRowAtIndexPath(indexPath, false);
  } else if (type == kPSMultiValueSpecifier) {
    if (viewList_.empty()) viewList_ = {{kValuesViewName, nullptr}, {kChildViewName, nullptr}};
    kit::Ref<PrefSpecifierValuesViewController> values(
        kit::cast<PrefSpecifierValuesViewController>(viewList_[0].viewController));
    if (!values) {
      values = kit::make<PrefSpecifierValuesViewController>(kValuesViewName);
      viewList_[0].viewController = values;
    }
    values->setCurrentSpecifier(specifier);
    values->setSettingsReader(settingsReader_);
    values->setSettingsStore(settingsStore_ ? settingsStore_ : kit::Ref<PrefSettingsStore>(settingsStore()));
    currentIndexPath_ = indexPath;
    if (kit::NavigationController* nav = navigationController()) nav->pushViewController(values.get(), true);
  } else if (type == kPSTextFieldSpecifier) {
    auto* cell = dynamic_cast<PrefPSTextFieldSpecifierViewCell*>(tableView.cellForRowAtIndexPath(indexPath));
    if (cell) cell->textField()->becomeFirstResponder();
  } else if (type == kPSChildPaneSpecifier) {
    openChildPane(*specifier, indexPath);
  } else if (type == kPrefOpenURLSpecifier) {
    tableView.deselectRowAtIndexPath(indexPath, true);
    kit::Ref<kit::URL> url = kit::URL::URLWithString(specifier->file());
    if (url) kit::Application::sharedApplication()->openURLInSystem(url.get());
  } else if (type == kPrefButtonSpecifier) {
    tableView.deselectRowAtIndexPath(indexPath, true);
    runButton(*specifier);
  } else if (type == kPrefMailComposeSpecifier) {
    tableView.deselectRowAtIndexPath(indexPath, true);
    composeMail(*specifier);
  } else {
    tableView.deselectRowAtIndexPath(indexPath, false);
  }
}

void PrefAppSettingsViewController::openChildPane(PrefSpecifier& specifier, const kit::IndexPath& indexPath) {
  kit::NavigationController* nav = navigationController();
  std::string cls = specifier.viewControllerClass();
  if (!cls.empty()) {
    auto& registry = kit::ClassRegistry::shared();
    kit::Ref<kit::Object> made;
    std::string selector = specifier.viewControllerSelector();
    if (selector.empty() || selector == "init") {
      made = registry.create(cls);
    } else {
      kit::Ref<kit::String> file = kit::str(specifier.file());
      kit::Ref<kit::String> key = kit::str(specifier.key());
      for (const std::string& name : functionNamesFor(selector)) {
        if (!registry.respondsToClassFunction(cls, name)) continue;
        if (auto result = registry.callClassFunction(cls, name, {file.get(), key.get()})) made = *result;
        break;
      }
    }
    if (kit::Ref<kit::ViewController> screen = kit::cast<kit::ViewController>(made)) {
      if (auto* wantsDelegate = dynamic_cast<PrefAcceptsSettingsDelegate*>(screen.get())) {
        wantsDelegate->setDelegate(delegate_);
      }
      if (auto* wantsStore = dynamic_cast<PrefAcceptsSettingsStore*>(screen.get())) {
        wantsStore->setSettingsStore(settingsStore());
      }
      if (nav) {
        // A screen of its own must not end the settings when it shows.
        nav->setDelegate(nullptr);
        nav->pushViewController(screen.get(), true);
      }
      return;
    }
    // No such class (or it made no screen): as if the row named none.
  }
  if (!specifier.file().empty()) {
    if (viewList_.size() < 2) viewList_ = {{kValuesViewName, nullptr}, {kChildViewName, nullptr}};
    kit::Ref<PrefAppSettingsViewController> child(kit::cast<PrefAppSettingsViewController>(viewList_[1].viewController));
    if (!child) {
      child = kit::make<PrefAppSettingsViewController>(kChildViewName);
      child->setShowDoneButton(false);
      viewList_[1].viewController = child;
    }
    child->setSettingsStore(settingsStore());
    child->setDelegate(delegate_);
    child->setFile(specifier.file());
    child->setTitle(specifier.title());
    child->setShowCreditsFooter(false);
    currentIndexPath_ = indexPath;
    if (nav) nav->pushViewController(child.get(), true);
    return;
  }
  if (tableView_) tableView_->deselectRowAtIndexPath(indexPath, true);
}

void PrefAppSettingsViewController::runButton(PrefSpecifier& specifier) {
  auto& registry = kit::ClassRegistry::shared();
  std::string cls = specifier.buttonClass();
  std::string action = specifier.buttonAction();
  if (cls.empty() || action.empty()) return;
  kit::Ref<kit::String> key = kit::str(specifier.key());
  for (const std::string& name : functionNamesFor(action)) {
    if (!registry.respondsToClassFunction(cls, name)) continue;
    registry.callClassFunction(cls, name, {this, key.get()});
    return;
  }
}

void PrefAppSettingsViewController::composeMail(PrefSpecifier& specifier) {
  if (!kit::MailComposeViewController::canSendMail()) {
    kit::Ref<kit::AlertView> alert(new kit::AlertView(
        localizedInMainBundle("Mail not configured"),
        localizedInMainBundle("This device is not configured for sending Email. Please configure the Mail settings "
                              "in the Settings app."),
        nullptr, localizedInMainBundle("OK")));
    alert->show();
    return;
  }
  kit::Ref<kit::MailComposeViewController> composer(new kit::MailComposeViewController());
  kit::Dictionary* dict = specifier.specifierDict();
  if (dict->objectForKey("PrefMailComposeSubject")) {
    composer->setSubject(specifier.localizedObjectForKey("PrefMailComposeSubject"));
  }
  if (kit::Object* to = dict->objectForKey("PrefMailComposeToRecipents")) composer->setToRecipients(stringsOf(to));
  if (kit::Object* cc = dict->objectForKey("PrefMailComposeCcRecipents")) composer->setCcRecipients(stringsOf(cc));
  if (kit::Object* bcc = dict->objectForKey("PrefMailComposeBccRecipents")) composer->setBccRecipients(stringsOf(bcc));

  // The description's own body (or the delegate's) stays ahead of the version lines.
  std::string body;
  if (dict->objectForKey("PrefMailComposeBody")) body = specifier.localizedObjectForKey("PrefMailComposeBody");
  if (delegate_) {
    if (std::optional<std::string> b = delegate_->mailComposeBody()) body = *b;
  }
  bool isHTML = false;
  if (auto* n = dynamic_cast<kit::Number*>(dict->objectForKey("PrefMailComposeBodyIsHTML"))) isHTML = n->boolValue();
  if (auto* s = dynamic_cast<kit::String*>(dict->objectForKey("PrefMailComposeBodyIsHTML"))) isHTML = s->boolValue();
  std::string version;
  if (kit::Object* v = kit::Bundle::mainBundle()->objectForInfoDictionaryKey(kit::Bundle::kVersionKey)) {
    version = v->description();
  }
  std::string versionText =
      "\n\n\nTolva Version : " + version + "\nSystem Version : " + kit::Device::currentDevice().systemVersion() + "\n";
  // Without a body there is nothing to mark up: the mail goes as plain text, lines and all.
  const bool html = isHTML && !body.empty();
  composer->setMessageBody(body + (html ? htmlLines(versionText) : versionText), html);

  kit::ViewController* presenter = delegate_ ? delegate_->viewControllerForMailComposeView() : nullptr;
  if (!presenter) presenter = this;
  auto* composeDelegate = dynamic_cast<kit::MailComposeViewControllerDelegate*>(presenter);
  composer->setMailComposeDelegate(composeDelegate ? composeDelegate : this);
  composer->setModalPresentationStyle(kit::ViewController::ModalPresentationStyle::FormSheet);
  presenter->presentViewController(composer.get(), true);
}

void PrefAppSettingsViewController::mailComposeControllerDidFinish(kit::MailComposeViewController& controller,
                                                                   kit::MailComposeResult, kit::Error*) {
  controller.dismissViewControllerAnimated(true);
}

// ---- Text editing

bool PrefAppSettingsViewController::textFieldShouldBeginEditing(kit::TextField& field) {
  field.setTextAlignment(kit::TextAlignment::Left);
  currentFirstResponder_ = &field;
  return true;
}

void PrefAppSettingsViewController::textFieldDidBeginEditing(kit::TextField& field) {
  currentFirstResponder_ = &field;
  std::vector<kit::IndexPath> visible = tableView_ ? tableView_->indexPathsForVisibleRows() : std::vector<kit::IndexPath>{};
  if (!visible.empty()) {
    topmostRow_ = visible.front();
  } else {
    topmostRow_ = kit::IndexPath{0, 0};
    field.resignFirstResponder();
  }
}

void PrefAppSettingsViewController::textFieldDidEndEditing(kit::TextField& field) {
  kit::Ref<PrefAppSettingsViewController> keep(this);
  currentFirstResponder_ = nullptr;
  auto* prefField = dynamic_cast<PrefTextField*>(&field);
  if (!prefField) return;
  // A line break or NUL (pasted in) would end up in headers and files that
  // cannot carry it: the text is refused and the stored value shown again.
  if (field.text().find_first_of(std::string_view("\r\n\0", 3)) != std::string::npos) {
    kit::Ref<kit::Object> stored = settingsStore()->objectForKey(prefField->key());
    auto* storedText = kit::cast<kit::String>(stored.get());
    field.setText(storedText ? storedText->str() : std::string());
    return;
  }
  kit::Ref<kit::String> text = kit::str(field.text());
  settingsStore()->setObject(text, prefField->key());
  postChange(prefField->key(), text);
}

bool PrefAppSettingsViewController::textFieldShouldReturn(kit::TextField& field) {
  field.resignFirstResponder();
  return true;
}

// ---- Keyboard

bool PrefAppSettingsViewController::isTopScreen() {
  kit::NavigationController* nav = navigationController();
  return nav && nav->topViewController() == this;
}

void PrefAppSettingsViewController::keyboardWillShow(const kit::Notification& note) {
  if (!isTopScreen() || !tableView_) return;
  kit::Dictionary* info = note.userInfo();
  auto* frameValue = info ? dynamic_cast<kit::GeometryValue*>(info->objectForKey(kit::Application::kKeyboardFrameEndUserInfoKey)) : nullptr;
  if (!frameValue) return;
  kit::Rect keyboard = frameValue->rectValue();
  kit::Window* window = view()->window();
  if (!window) return;
  // kit's keyboard frame and window share one coordinate space in every
  // orientation, so no axes need swapping here.
  kit::Rect windowBounds = window->bounds();
  kit::Rect table = tableView_->convertRectToView(tableView_->bounds(), nullptr);
  double overlap = keyboard.height() - (windowBounds.maxY() - table.maxY());
  if (overlap > 0) {
    kit::Rect f = tableView_->frame();
    tableView_->setFrame({f.x(), f.y(), f.width(), std::max(0.0, f.height() - overlap)});
  }
  kit::RunLoop::main().cancelPreviousPerformRequests(this);
  if (kit::TableViewCell* cell = enclosingCell(currentFirstResponder_.get())) {
    if (std::optional<kit::IndexPath> p = tableView_->indexPathForCell(cell)) {
      tableView_->scrollToRowAtIndexPath(*p, kit::TableView::ScrollPosition::Middle, true);
    }
  }
}

void PrefAppSettingsViewController::keyboardWillHide(const kit::Notification&) {
  if (!isTopScreen() || !tableView_) return;
  tableView_->setFrame(view()->bounds());
}

}  // namespace tolva
