#pragma once
// The fixture of the data subsystem's tests: a fresh data home, virtual
// time, no alert left over and a fresh bookmark store that loads the
// bundle's default tree.

#include <gtest/gtest.h>

#include <initializer_list>
#include <string>

#include "data/VeskBookmarkDatabase.h"
#include "data/VeskFaviconDatabase.h"
#include "kit/foundation/Array.h"
#include "kit/foundation/Clock.h"
#include "kit/foundation/NotificationCenter.h"
#include "kit/foundation/RunLoop.h"
#include "kit/foundation/String.h"
#include "kit/foundation/UserDefaults.h"
#include "kit/ui/ActionSheet.h"
#include "kit/ui/AlertView.h"
#include "kit/ui/Application.h"
#include "kit/ui/Device.h"
#include "kit/ui/PopoverController.h"
#include "support/TempHome.h"

namespace datatest {

// A folder path of these titles.
inline kit::Ref<kit::Array> path(std::initializer_list<const char*> titles) {
  kit::Ref<kit::MutableArray> p = kit::MutableArray::array();
  for (const char* t : titles) p->addObject(kit::str(t));
  return p;
}

inline std::string field(const kit::Dictionary* d, const char* key) {
  auto* s = d ? d->get<kit::String>(key) : nullptr;
  return s ? s->str() : std::string("<none>");
}

// The titles of a folder's items, joined by commas.
inline std::string titles(const kit::Array* folder) {
  std::string out;
  for (size_t i = 0; folder && i < folder->count(); ++i) {
    if (i) out += ",";
    out += field(folder->get<kit::Dictionary>(i), "title");
  }
  return out;
}

// Gives the store an empty tree holding only the History folder.
inline void startEmptyTree() {
  kit::Ref<kit::MutableArray> tree = kit::MutableArray::array();
  kit::Ref<kit::MutableDictionary> history = kit::MutableDictionary::dictionary();
  history->setObject(kit::str("History"), "title");
  history->setObject(kit::MutableArray::array(), "subitems");
  tree->addObject(history);
  tolva::VeskBookmarkDatabase::getSharedInstance()->setBookmark(tree);
}

class DataTest : public ::testing::Test {
 protected:
  void SetUp() override {
    kit::UserDefaults::discardStandardUserDefaultsForTesting();
    kit::Clock::setVirtual(700000000.0);
    kit::Device::currentDevice().setUserInterfaceIdiom(kit::UserInterfaceIdiom::Pad);
    kit::Application::sharedApplication()->reset();
    clearOverlays();
    db()->resetForTesting();
    db()->gotoRoot();
    tolva::VeskFaviconDatabase::resetForTesting();
    tolva::VeskFaviconDatabase::setFetchAddressForTesting(loopbackFaviconAddress);
  }
  // Only the loopback server is ever asked for a site icon.
  static std::string loopbackFaviconAddress(const std::string& site) {
    return site.starts_with("127.0.0.1:") ? "http://" + site + "/favicon.ico" : std::string();
  }
  void TearDown() override {
    tolva::VeskFaviconDatabase::waitForFetchesForTesting();
    clearOverlays();
    db()->resetForTesting();
    kit::RunLoop::main().advance(30);
    kit::Application::sharedApplication()->reset();
    kit::Device::currentDevice().setUserInterfaceIdiom(kit::UserInterfaceIdiom::Pad);
    kit::Clock::setReal();
  }
  static void clearOverlays() {
    for (auto& a : kit::AlertView::visibleAlerts()) a->dismissWithClickedButtonIndex(-1, false);
    for (auto& s : kit::ActionSheet::visibleSheets()) s->dismissWithClickedButtonIndex(-1, false);
    for (auto& p : kit::PopoverController::visiblePopovers()) p->dismissPopoverAnimated(false);
  }

  static tolva::VeskBookmarkDatabase* db() { return tolva::VeskBookmarkDatabase::getSharedInstance(); }
  static kit::UserDefaults& defaults() { return kit::UserDefaults::standardUserDefaults(); }
  static kit::RunLoop& loop() { return kit::RunLoop::main(); }

  static void startEmpty() { startEmptyTree(); }
  static std::string titlesAt(std::initializer_list<const char*> p) { return titles(db()->getFolder(path(p)).get()); }
  static kit::Ref<kit::Array> history() { return db()->getFolder(path({"History"})); }

  // Counts the store's notifications of one name.
  struct Counter {
    explicit Counter(const char* name)
        : token(kit::NotificationCenter::defaultCenter().addObserver(name, nullptr,
                                                                     [this](const kit::Notification&) { ++n; })) {}
    int n = 0;
    kit::NotificationCenter::Token token;
  };

 private:
  tolvatest::TempHome home_;
};

}  // namespace datatest
