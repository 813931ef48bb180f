#include "data/MyURLRequest.h"

#include <atomic>
#include <mutex>

#include "common/Swizzle.h"
#include "common/VeskMiscObject.h"
#include "data/VeskAdblockManager.h"

namespace tolva::MyURLRequest {
namespace {
std::atomic<bool> installed{false};
}

void newInitWithURL(kit::URLRequest& request, kit::Ref<kit::URL> url, kit::URLRequest::CachePolicy policy,
                    double timeoutInterval) {
  if (url && VeskMiscObject::sharedInstance()->opt_adblock() &&
      VeskAdblockManager::sharedInstance()->checkWithFilter(url->absoluteString()))
    policy = kit::URLRequest::CachePolicy::ReturnCacheDataDontLoad;
  auto former = Swizzle::implementation<kit::URLRequest::InitFunction>(Swizzle::kURLRequestClass, kNewInitSelector);
  if (former)
    former(request, std::move(url), policy, timeoutInterval);
  else
    kit::URLRequest::primitiveInit(request, std::move(url), policy, timeoutInterval);
}

void setupAdblockFilter() {
  static std::once_flag once;
  std::call_once(once, [] {
    Swizzle::addMethod<kit::URLRequest::InitFunction>(Swizzle::kURLRequestClass, kNewInitSelector, &newInitWithURL);
    Swizzle::swizzleMethod(Swizzle::kURLRequestClass, Swizzle::kInitSelector, kNewInitSelector);
    installed = true;
  });
  // Made now, on the main thread, so the web views have the list before a
  // page asks for anything.
  VeskAdblockManager::sharedInstance();
}

bool isAdblockFilterInstalled() { return installed; }

}  // namespace tolva::MyURLRequest
