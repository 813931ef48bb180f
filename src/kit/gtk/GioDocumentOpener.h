#pragma once
// Hands files to desktop applications through GIO's application registry: the applications
// that declare the file's content type, launched directly (no shell).

#include "kit/ui/DocumentOpener.h"

namespace kit::gtk {

class GioDocumentOpener : public DocumentOpener {
 public:
  std::string contentTypeOfFile(const std::string& path) override;
  std::vector<Application> applicationsForFile(const std::string& path) override;
  bool openFileWithApplication(const std::string& path, const std::string& identifier) override;
  bool openFileWithDefaultApplication(const std::string& path) override;
};

}  // namespace kit::gtk
