#pragma once
// The request engine's class-wide state and locks, made once on first use.

#include <atomic>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>

#include "http/HttpCacheDelegate.h"
#include "kit/foundation/Array.h"
#include "kit/foundation/Error.h"
#include "kit/foundation/OperationQueue.h"
#include "kit/foundation/Thread.h"

namespace tolva {

struct HttpRequestShared {
  static HttpRequestShared& get();
  // A new path in the temporary folder with a globally unique name.
  static std::string temporaryPath();
  // Removes this very record from the pool (records are told apart by identity). Under connectionLock.
  void removeConnectionRecord(const kit::Object* record);

  // Locks, as the engine names them.
  std::recursive_mutex connectionLock;
  std::recursive_mutex progressLock;
  std::mutex bandwidthLock;
  std::recursive_mutex sessionCookiesLock;
  std::recursive_mutex sessionCredentialsLock;
  std::recursive_mutex delegateAuthenticationLock;

  kit::Ref<kit::OperationQueue> queue;

  std::mutex threadMutex;
  kit::Ref<kit::Thread> networkThread;
  std::atomic<bool> networkThreadStopping{false};
  bool networkThreadEnded = false;  // under threadMutex
  std::condition_variable networkThreadEnd;

  std::atomic<double> defaultTimeOutSeconds{10.0};
  std::mutex defaultCacheMutex;
  kit::Ref<HttpCacheDelegate> defaultCache;

  // Guarded by connectionLock.
  kit::Ref<kit::MutableArray> persistentConnectionsPool;
  long nextConnectionNumberToCreate = 0;
  long nextRequestID = 0;
  long runningRequestCount = 0;
  bool shouldUpdateNetworkActivityIndicator = true;
  // A show was sent to the main thread and no hide has happened since; a delayed hide check waits.
  bool networkActivityIndicatorShown = false;
  bool networkActivityIndicatorHidePending = false;

  // Guarded by sessionCredentialsLock.
  kit::Ref<kit::MutableArray> sessionCredentialsStore;
  kit::Ref<kit::MutableArray> sessionProxyCredentialsStore;

  // Guarded by sessionCookiesLock.
  kit::Ref<kit::MutableArray> sessionCookies;

  // Main thread only.
  bool networkActivityIndicatorVisible = false;
  std::function<void(bool)> networkActivityIndicatorHandler;

  // The shared errors.
  kit::Ref<kit::Error> requestTimedOutError;
  kit::Ref<kit::Error> authenticationError;
  kit::Ref<kit::Error> requestCancelledError;
  kit::Ref<kit::Error> unableToCreateRequestError;
  kit::Ref<kit::Error> tooMuchRedirectionError;

 private:
  HttpRequestShared();
};

}  // namespace tolva
