#pragma once
// The ad-block request hook: once installed, every new request (whoever
// builds it) for a URL the enabled filter list matches, while ad blocking is
// on, is made with cache policy 3 (answer from the cache only, never load).

#include "kit/net/URLRequest.h"

namespace tolva::MyURLRequest {

inline constexpr const char* kNewInitSelector = "newInitWithURL:cachePolicy:timeoutInterval:";

// Exchanges the request initializer with newInitWithURL, once per process:
// later calls (a second launch in one process) change nothing. Makes the
// filter list manager.
void setupAdblockFilter();
bool isAdblockFilterInstalled();
// The replacement initializer; reaches the former one under its own selector.
void newInitWithURL(kit::URLRequest& request, kit::Ref<kit::URL> url, kit::URLRequest::CachePolicy policy,
                    double timeoutInterval);

}  // namespace tolva::MyURLRequest
