#pragma once
// The fixture of the ad-block tests: fresh user defaults, the shared
// manager reloaded with a given list, ad blocking on, both request hooks
// installed, no blocked-pattern list left over for the web views.

#include <gtest/gtest.h>

#include <initializer_list>
#include <string>

#include "common/VeskMiscObject.h"
#include "data/VeskAdblockManager.h"
#include "kit/foundation/Number.h"
#include "kit/foundation/String.h"
#include "kit/foundation/UserDefaults.h"
#include "kit/ui/WebContentFilter.h"

namespace adblocktest {

class AdblockTest : public ::testing::Test {
 protected:
  void SetUp() override {
    kit::UserDefaults::discardStandardUserDefaultsForTesting();
    defaults().removeObjectForKey("filter");  // an earlier test may have flushed one
    tolva::VeskMiscObject::sharedInstance()->_settingsChanged();
    manager()->resetForTesting();
    setAdblock(true);
  }
  void TearDown() override {
    setAdblock(false);
    kit::UserDefaults::discardStandardUserDefaultsForTesting();
  }

  static tolva::VeskAdblockManager* manager() { return tolva::VeskAdblockManager::sharedInstance(); }
  static kit::UserDefaults& defaults() { return kit::UserDefaults::standardUserDefaults(); }
  static void setAdblock(bool on) { tolva::VeskMiscObject::sharedInstance()->setOpt_adblock(on); }

  // An entry as the screens and the stored list hold it.
  static kit::Ref<kit::MutableDictionary> entry(const std::string& pattern, int disabled = 0) {
    auto e = kit::MutableDictionary::dictionary();
    e->setObject(kit::str(pattern), "filter");
    e->setObject(kit::Number::numberWithInt(disabled), "disabled");
    return e;
  }
  // Makes the list (predicates built), as a start with it stored would.
  static void useList(std::initializer_list<kit::Ref<kit::MutableDictionary>> entries) {
    auto list = kit::MutableArray::array();
    for (auto& e : entries) list->addObject(e);
    manager()->setFilters(list);
    manager()->rebuildPredicates();
  }
  static kit::MutableDictionary* at(size_t i) { return manager()->filters()->get<kit::MutableDictionary>(i); }
  static long hits(size_t i) {
    auto* n = at(i)->get<kit::Number>("hitcount");
    return n ? n->integerValue() : -1;  // -1: no "hitcount" at all
  }
  static std::string pattern(size_t i) { return at(i)->get<kit::String>("filter")->str(); }
  static kit::Ref<kit::Array> stored() { return defaults().arrayForKey("filter"); }
};

}  // namespace adblocktest
