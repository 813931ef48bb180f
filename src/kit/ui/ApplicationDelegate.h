#pragma once
// What the application tells its delegate about its life. Every call is
// optional (the defaults do nothing and answer YES, except the open-URL calls,
// which answer NO).

#include <string>

#include "kit/foundation/Dictionary.h"
#include "kit/foundation/URL.h"

namespace kit {

class Application;

class ApplicationDelegate {
 public:
  virtual ~ApplicationDelegate() = default;

  virtual bool didFinishLaunchingWithOptions(Application& app, Dictionary* options) {
    (void)app;
    (void)options;
    return true;
  }
  // A URL handed over by another program. The default forwards to handleOpenURL.
  virtual bool openURL(Application& app, URL* url, const std::string& sourceApplication, Object* annotation) {
    (void)sourceApplication;
    (void)annotation;
    return handleOpenURL(app, url);
  }
  virtual bool handleOpenURL(Application& app, URL* url) {
    (void)app;
    (void)url;
    return false;
  }
  virtual void willResignActive(Application& app) { (void)app; }
  virtual void didBecomeActive(Application& app) { (void)app; }
  virtual void didEnterBackground(Application& app) { (void)app; }
  virtual void willEnterForeground(Application& app) { (void)app; }
  virtual void willTerminate(Application& app) { (void)app; }
  virtual void didReceiveMemoryWarning(Application& app) { (void)app; }
};

}  // namespace kit
