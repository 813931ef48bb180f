#pragma once
// The fixture of the sharing kit's tests: a fresh data home, virtual time, a
// memory keychain, the default configuration, a network switched by the
// test, the test sharer registered and listed as a service, and a key
// window whose root screen the kit presents over.

#include <gtest/gtest.h>

#include <memory>

#include "kit/foundation/ClassRegistry.h"
#include "kit/foundation/Clock.h"
#include "kit/foundation/RunLoop.h"
#include "kit/foundation/String.h"
#include "kit/foundation/UserDefaults.h"
#include "kit/net/ReachabilityManualSource.h"
#include "kit/security/Keychain.h"
#include "kit/security/MemoryKeychainStore.h"
#include "kit/ui/AlertView.h"
#include "kit/ui/Application.h"
#include "kit/ui/ViewAnimation.h"
#include "kit/ui/ViewController.h"
#include "kit/ui/Window.h"
#include "share/core/Share.h"
#include "share/core/ShareConfiguration.h"
#include "share/support/ShareTestSharer.h"
#include "support/TempHome.h"

namespace sharetest {

class ShareTest : public ::testing::Test {
 protected:
  void SetUp() override {
    kit::UserDefaults::discardStandardUserDefaultsForTesting();
    kit::Clock::setVirtual(700000000.0);
    kit::Keychain::installSharedStore(std::make_shared<kit::MemoryKeychainStore>());
    kit::ReachabilityFlagSource::setFactory([this](const kit::ReachabilityFlagSource::Target& t) {
      auto source = kit::make<kit::ReachabilityManualSource>(t, online_ ? uint32_t(kit::kReachabilityFlagReachable) : 0u);
      sources_.push_back(source);
      return kit::Ref<kit::ReachabilityFlagSource>(source);
    });
    kit::Application::sharedApplication()->reset();
    kit::ViewAnimation::clearHistory();
    tolva::ShareConfiguration::resetForTesting();
    tolva::ShareConfiguration::sharedInstanceWithConfigurator(configurator());
    tolva::Share::resetForTesting();
    TestSharerScript::shared().reset();
    ShareTestSharer::registerClass();
    useSharers({"ShareMail", "ShareCopy"}, {ShareTestSharer::kName, "ShareTwitter", "ShareFacebook"});

    window_ = kit::make<kit::Window>();
    root_ = kit::make<kit::ViewController>();
    window_->addSubview(root_->view());
    window_->makeKeyAndVisible();
  }

  void TearDown() override {
    for (auto& a : kit::AlertView::visibleAlerts()) a->dismissWithClickedButtonIndex(-1, false);
    loop().advance(30);
    tolva::Share::resetForTesting();
    window_->setHidden(true);
    root_ = nullptr;
    window_ = nullptr;
    kit::Application::sharedApplication()->reset();
    TestSharerScript::shared().reset();
    kit::ReachabilityFlagSource::setFactory(nullptr);
    tolva::ShareConfiguration::resetForTesting();
    kit::Clock::setReal();
  }

  virtual kit::Ref<tolva::DefaultShareConfigurator> configurator() {
    return kit::make<tolva::DefaultShareConfigurator>();
  }

  static void useSharers(std::vector<std::string> actions, std::vector<std::string> services) {
    auto list = [](const std::vector<std::string>& names) {
      auto a = kit::MutableArray::array();
      for (const auto& n : names) a->addObject(kit::str(n));
      return a;
    };
    tolva::Share::setSharersDictionaryForTesting(
        kit::Ref<kit::Dictionary>(new kit::Dictionary({{"actions", list(actions)}, {"services", list(services)}})));
  }

  // Switches the network; monitors already made see it too.
  void setOnline(bool online) {
    online_ = online;
    for (auto& s : sources_) s->setFlags(online ? uint32_t(kit::kReachabilityFlagReachable) : 0u);
  }

  static kit::RunLoop& loop() { return kit::RunLoop::main(); }
  static kit::UserDefaults& defaults() { return kit::UserDefaults::standardUserDefaults(); }
  static kit::AlertView* topAlert() { return kit::AlertView::topVisibleAlert(); }
  static TestSharerScript& script() { return TestSharerScript::shared(); }
  kit::ViewController* root() const { return root_.get(); }

 private:
  tolvatest::TempHome home_;
  bool online_ = true;
  std::vector<kit::Ref<kit::ReachabilityManualSource>> sources_;
  kit::Ref<kit::Window> window_;
  kit::Ref<kit::ViewController> root_;
};

}  // namespace sharetest
