#pragma once
// The document opener of the headless backend: answers the applications a test registered for a
// content type and records every file it was asked to open.

#include <map>
#include <string>
#include <utility>
#include <vector>

#include "kit/ui/DocumentOpener.h"

namespace kit {

class HeadlessDocumentOpener : public DocumentOpener {
 public:
  static HeadlessDocumentOpener& instance();

  std::string contentTypeOfFile(const std::string& path) override;
  std::vector<Application> applicationsForFile(const std::string& path) override;
  bool openFileWithApplication(const std::string& path, const std::string& identifier) override;
  bool openFileWithDefaultApplication(const std::string& path) override;

  void registerApplication(const std::string& contentType, Application application);
  void reset();
  // (path, application id; empty for the default one), in order.
  const std::vector<std::pair<std::string, std::string>>& opened() const noexcept { return opened_; }

 private:
  std::map<std::string, std::vector<Application>> applications_;
  std::vector<std::pair<std::string, std::string>> opened_;
};

}  // namespace kit
