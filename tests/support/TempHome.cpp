#include "support/TempHome.h"

#include <cstdlib>
#include <filesystem>
#include <stdexcept>

#include "kit/foundation/Paths.h"
#include "kit/foundation/UserDefaults.h"

namespace tolvatest {

TempHome::TempHome() {
  std::string tmpl = (std::filesystem::temp_directory_path() / "tolva-test-XXXXXX").string();
  if (!::mkdtemp(tmpl.data())) throw std::runtime_error("mkdtemp failed");
  path_ = tmpl;
  ::setenv("TOLVA_HOME", path_.c_str(), 1);
  kit::Paths::reset();
  kit::UserDefaults::discardStandardUserDefaultsForTesting();
}

TempHome::~TempHome() {
  kit::UserDefaults::discardStandardUserDefaultsForTesting();
  removeTree(path_);
  kit::Paths::reset();
}

void removeTree(const std::string& path) {
  std::error_code ec;
  std::filesystem::remove_all(path, ec);
}

}  // namespace tolvatest
