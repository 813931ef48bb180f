#pragma once
// The download suites' fixture: a fresh home and defaults, the manager emptied, a real clock (the
// loopback servers run in real time) and helpers that run the main loop until an entry settles.

#include <gtest/gtest.h>

#include <string>

#include "downloads/VeskDownloadManager.h"
#include "http/HttpRequest.h"
#include "kit/foundation/Clock.h"
#include "kit/foundation/FileManager.h"
#include "kit/foundation/Paths.h"
#include "kit/foundation/RunLoop.h"
#include "kit/foundation/UserDefaults.h"
#include "support/TempHome.h"

namespace downloadtest {

class DownloadTest : public ::testing::Test {
 protected:
  void SetUp() override {
    kit::Clock::setReal();
    kit::UserDefaults::discardStandardUserDefaultsForTesting();
    manager()->resetForTesting();
    manager()->setRequestStarterForTesting(nullptr);
    tolva::HttpRequest::expirePersistentConnections();
  }
  void TearDown() override {
    manager()->resetForTesting();
    settle(0.05);
    kit::UserDefaults::discardStandardUserDefaultsForTesting();
  }

  static tolva::VeskDownloadManager* manager() { return tolva::VeskDownloadManager::sharedInstance(); }
  static bool waitFor(const std::function<bool()>& done, double timeout = 20) {
    return kit::RunLoop::main().runUntil(done, timeout);
  }
  static bool waitForState(long index, int status, double timeout = 20) {
    return waitFor([&] { return manager()->state(index) == status && !manager()->requestOfItem(index); }, timeout);
  }
  static void settle(double seconds = 0.1) {
    kit::RunLoop::main().runUntil([] { return false; }, seconds);
  }
  static std::string documents(const std::string& name) { return kit::Paths::documentsDirectory() + "/" + name; }
  static std::string read(const std::string& path) {
    kit::Ref<kit::Data> d = kit::FileManager::readFile(path);
    return d ? d->toString() : std::string("<missing>");
  }
  static std::string field(long index, const char* key) {
    auto* entry = manager()->list()->get<kit::Dictionary>(static_cast<size_t>(index));
    kit::Object* v = entry ? entry->objectForKey(key) : nullptr;
    return v ? v->description() : std::string();
  }
  // Makes the list as a previous run of the program left it.
  static void storeList(kit::Ref<kit::Array> entries) {
    kit::UserDefaults::standardUserDefaults().setObject(entries.get(), tolva::VeskDownloadManager::kDefaultsKey);
    kit::UserDefaults::standardUserDefaults().synchronize();
    manager()->resetForTesting();
  }

  tolvatest::TempHome home;
};

}  // namespace downloadtest
