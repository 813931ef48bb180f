#include "shell/MyMutableURLRequest.h"

#include <atomic>
#include <mutex>

#include "common/Swizzle.h"
#include "shell/MyUserAgentSettingsMonitor.h"

namespace tolva::MyMutableURLRequest {
namespace {
std::atomic<bool> installed{false};
}

bool newSetValue(kit::URLRequest& request, std::string_view value, std::string_view field) {
  std::string agent;
  if (field == "User-Agent") {
    agent = MyUserAgentSettingsMonitor::sharedInstance()->user_agent();
    value = agent;
  }
  auto former = Swizzle::implementation<kit::URLRequest::SetValueFunction>(Swizzle::kURLRequestClass,
                                                                           kNewSetValueSelector);
  return former ? former(request, value, field) : kit::URLRequest::primitiveSetValue(request, value, field);
}

void setupUserAgentOverwrite() {
  static std::once_flag once;
  std::call_once(once, [] {
    Swizzle::addMethod<kit::URLRequest::SetValueFunction>(Swizzle::kURLRequestClass, kNewSetValueSelector,
                                                          &newSetValue);
    Swizzle::swizzleMethod(Swizzle::kURLRequestClass, Swizzle::kSetValueSelector, kNewSetValueSelector);
    installed = true;
  });
  MyUserAgentSettingsMonitor::sharedInstance();
}

bool isUserAgentOverwriteInstalled() { return installed; }

}  // namespace tolva::MyMutableURLRequest
