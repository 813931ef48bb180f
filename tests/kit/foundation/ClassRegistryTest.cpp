#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "kit/foundation/ClassRegistry.h"
#include "kit/foundation/Number.h"
#include "kit/foundation/String.h"

using namespace kit;

namespace {

class Widget : public Object {
 public:
  std::string className() const override { return "Widget"; }
};

KIT_REGISTER_CLASS(Widget);

bool yesOrNo(const std::optional<Ref<Object>>& r) {
  auto* n = r && *r ? cast<Number>(*r) : nullptr;
  return n && n->boolValue();
}

}  // namespace

TEST(ClassRegistry, UnknownNamesGiveNothing) {
  ClassRegistry reg;
  EXPECT_FALSE(reg.classExists("NoSuchClass"));
  EXPECT_FALSE(reg.create("NoSuchClass"));
  EXPECT_FALSE(reg.callClassFunction("NoSuchClass", "canShare").has_value());
  EXPECT_FALSE(reg.respondsToClassFunction("NoSuchClass", "canShare"));
  EXPECT_EQ(reg.superclassName("NoSuchClass"), "");

  reg.registerClass("Known", [] { return Ref<Object>(new Widget()); });
  EXPECT_FALSE(reg.callClassFunction("Known", "missingFunction").has_value());
  EXPECT_FALSE(reg.create(""));
  EXPECT_FALSE(reg.classExists("known"));  // names are case-sensitive
}

TEST(ClassRegistry, CreatesFreshInstances) {
  ClassRegistry reg;
  reg.registerClass("Widget", [] { return Ref<Object>(new Widget()); });
  Ref<Object> a = reg.create("Widget"), b = reg.create("Widget");
  ASSERT_TRUE(a && b);
  EXPECT_NE(a.get(), b.get());
  EXPECT_EQ(a->className(), "Widget");
  EXPECT_EQ(a->retainCount(), 1);

  // A class with functions only exists but cannot be instantiated by name.
  reg.registerClassFunction("AppDelegate", "onDeleteCaches", [](Object*) { return Ref<Object>(); });
  EXPECT_TRUE(reg.classExists("AppDelegate"));
  EXPECT_FALSE(reg.create("AppDelegate"));

  // Re-registering replaces the factory and keeps the functions.
  reg.registerClass("AppDelegate", [] { return Ref<Object>(new Widget()); });
  EXPECT_TRUE(reg.create("AppDelegate"));
  EXPECT_TRUE(reg.respondsToClassFunction("AppDelegate", "onDeleteCaches"));
  reg.unregisterClass("AppDelegate");
  EXPECT_FALSE(reg.classExists("AppDelegate"));
}

TEST(ClassRegistry, ClassFunctionsTakeArgumentsAndMayAnswerNull) {
  ClassRegistry reg;
  std::vector<std::string> seen;
  reg.registerClassFunction("AppDelegate", "onDeleteHistories", [&](const ClassCall& call) {
    seen.push_back(std::string(call.className));
    for (size_t i = 0; i < 3; ++i) seen.push_back(call.arg(i) ? call.arg(i)->description() : "null");
    return Ref<Object>();
  });
  reg.registerClassFunction("Share", "logoutOfService",
                            [&](Object* name) { return Ref<Object>(str("out:" + name->description())); });

  auto screen = str("screen"), key = str("key");
  auto r = reg.callClassFunction("AppDelegate", "onDeleteHistories", {screen.get(), key.get()});
  ASSERT_TRUE(r.has_value());  // the function ran ...
  EXPECT_FALSE(*r);            // ... and answered nothing
  EXPECT_EQ(seen, (std::vector<std::string>{"AppDelegate", "screen", "key", "null"}));

  auto out = reg.callClassFunction("Share", "logoutOfService", str("ShareTwitter").get());
  ASSERT_TRUE(out && *out);
  EXPECT_EQ((*out)->description(), "out:ShareTwitter");
}

TEST(ClassRegistry, FunctionsAreInheritedAndSeeTheReceivingClass) {
  ClassRegistry reg;
  reg.registerClass("Sharer", nullptr);
  reg.registerClass("MailSharer", [] { return Ref<Object>(new Widget()); }, "Sharer");
  reg.registerClass("QuietMailSharer", [] { return Ref<Object>(new Widget()); }, "MailSharer");
  // The base answers canShareType by asking the receiving class about URLs.
  reg.registerClassFunction("Sharer", "canShareURL", [](Object*) { return Ref<Object>(boolean(false)); });
  reg.registerClassFunction("Sharer", "canShareType", [](const ClassCall& call) {
    auto* type = cast<Number>(call.arg());
    if (!type || type->intValue() != 1) return Ref<Object>(boolean(false));
    return call.registry.callClassFunction(call.className, "canShareURL").value_or(nullptr);
  });
  reg.registerClassFunction("MailSharer", "canShareURL", [](Object*) { return Ref<Object>(boolean(true)); });

  auto url = num(1);
  EXPECT_FALSE(yesOrNo(reg.callClassFunction("Sharer", "canShareType", url.get())));
  EXPECT_TRUE(yesOrNo(reg.callClassFunction("MailSharer", "canShareType", url.get())));
  EXPECT_TRUE(yesOrNo(reg.callClassFunction("QuietMailSharer", "canShareType", url.get())));
  EXPECT_FALSE(yesOrNo(reg.callClassFunction("MailSharer", "canShareType", num(2).get())));
  EXPECT_TRUE(reg.respondsToClassFunction("QuietMailSharer", "canShareURL"));
  EXPECT_FALSE(reg.respondsToClassFunction("QuietMailSharer", "logout"));

  EXPECT_TRUE(reg.isSubclassOf("QuietMailSharer", "Sharer"));
  EXPECT_TRUE(reg.isSubclassOf("Sharer", "Sharer"));
  EXPECT_FALSE(reg.isSubclassOf("Sharer", "MailSharer"));
  EXPECT_EQ(reg.superclassName("QuietMailSharer"), "MailSharer");

  // A superclass cycle registered by mistake ends the search instead of hanging.
  reg.registerClass("LoopA", nullptr, "LoopB");
  reg.registerClass("LoopB", nullptr, "LoopA");
  EXPECT_FALSE(reg.callClassFunction("LoopA", "anything").has_value());
  EXPECT_FALSE(reg.isSubclassOf("LoopA", "Sharer"));
}

TEST(ClassRegistry, StaticRegistrationReachesTheSharedRegistry) {
  auto w = ClassRegistry::shared().create("Widget");
  ASSERT_TRUE(w);
  EXPECT_EQ(w->className(), "Widget");
}

TEST(ClassRegistry, ConcurrentLookupsAndRegistrations) {
  ClassRegistry reg;
  reg.registerClass("Widget", [] { return Ref<Object>(new Widget()); });
  std::atomic<int> created{0};
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([&, t] {
      for (int i = 0; i < 500; ++i) {
        if (reg.create("Widget")) ++created;
        reg.registerClassFunction("C" + std::to_string(t), "f" + std::to_string(i),
                                  [](Object*) { return Ref<Object>(); });
        (void)reg.callClassFunction("C" + std::to_string((t + 1) % 4), "f0");
      }
    });
  }
  for (auto& th : threads) th.join();
  EXPECT_EQ(created.load(), 2000);
  EXPECT_TRUE(reg.respondsToClassFunction("C3", "f499"));
}
