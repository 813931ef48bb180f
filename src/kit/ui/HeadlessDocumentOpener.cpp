#include "kit/ui/HeadlessDocumentOpener.h"

#include <algorithm>
#include <cctype>

namespace kit {

namespace {

DocumentOpener* installed = nullptr;

}  // namespace

DocumentOpener& DocumentOpener::shared() {
  return installed ? *installed : static_cast<DocumentOpener&>(HeadlessDocumentOpener::instance());
}

void DocumentOpener::setShared(DocumentOpener* opener) { installed = opener; }

HeadlessDocumentOpener& HeadlessDocumentOpener::instance() {
  static auto* opener = new HeadlessDocumentOpener();
  return *opener;
}

std::string HeadlessDocumentOpener::contentTypeOfFile(const std::string& path) {
  const size_t dot = path.rfind('.');
  const size_t slash = path.rfind('/');
  if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return "application/octet-stream";
  std::string ext = path.substr(dot + 1);
  std::transform(ext.begin(), ext.end(), ext.begin(), [](unsigned char c) { return std::tolower(c); });
  static const std::map<std::string, std::string> types = {
      {"zip", "application/zip"}, {"pdf", "application/pdf"}, {"txt", "text/plain"},  {"html", "text/html"},
      {"htm", "text/html"},       {"png", "image/png"},       {"jpg", "image/jpeg"},  {"jpeg", "image/jpeg"},
      {"gif", "image/gif"},       {"svg", "image/svg+xml"},   {"json", "application/json"}};
  auto it = types.find(ext);
  return it == types.end() ? "application/octet-stream" : it->second;
}

std::vector<DocumentOpener::Application> HeadlessDocumentOpener::applicationsForFile(const std::string& path) {
  auto it = applications_.find(contentTypeOfFile(path));
  return it == applications_.end() ? std::vector<Application>{} : it->second;
}

bool HeadlessDocumentOpener::openFileWithApplication(const std::string& path, const std::string& identifier) {
  const std::vector<Application> apps = applicationsForFile(path);
  if (std::none_of(apps.begin(), apps.end(), [&](const Application& a) { return a.identifier == identifier; })) {
    return false;
  }
  opened_.emplace_back(path, identifier);
  return true;
}

bool HeadlessDocumentOpener::openFileWithDefaultApplication(const std::string& path) {
  if (applicationsForFile(path).empty()) return false;
  opened_.emplace_back(path, std::string());
  return true;
}

void HeadlessDocumentOpener::registerApplication(const std::string& contentType, Application application) {
  applications_[contentType].push_back(std::move(application));
}

void HeadlessDocumentOpener::reset() {
  applications_.clear();
  opened_.clear();
}

}  // namespace kit
