#pragma once
// Hands a file to another program: the applications that handle the file's type, one of them
// chosen by the user, or the default one. The GTK backend installs one over GIO's application
// registry; the headless one records the calls.

#include <string>
#include <vector>

namespace kit {

class DocumentOpener {
 public:
  struct Application {
    std::string identifier;  // the registry's id ("org.example.Viewer.desktop")
    std::string name;        // what the user sees
  };

  virtual ~DocumentOpener() = default;
  // The type of the file's contents ("application/zip"), guessed from its name and first bytes.
  virtual std::string contentTypeOfFile(const std::string& path) = 0;
  virtual std::vector<Application> applicationsForFile(const std::string& path) = 0;
  // Starts the application with the file (no shell in between); answers whether it started.
  virtual bool openFileWithApplication(const std::string& path, const std::string& identifier) = 0;
  virtual bool openFileWithDefaultApplication(const std::string& path) = 0;

  // The process-wide opener: the installed one, else the headless recorder.
  static DocumentOpener& shared();
  static void setShared(DocumentOpener* opener);
};

}  // namespace kit
