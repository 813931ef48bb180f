#include "support/TempHome.h"

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
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

bool makeUnixSocket(const std::string& path) {
  sockaddr_un addr{};
  if (path.size() >= sizeof addr.sun_path) return false;
  addr.sun_family = AF_UNIX;
  std::memcpy(addr.sun_path, path.c_str(), path.size() + 1);
  int sock = ::socket(AF_UNIX, SOCK_STREAM, 0);
  if (sock < 0) return false;
  const bool made = ::bind(sock, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0;
  ::close(sock);
  return made;
}

void removeTree(const std::string& path) {
  std::error_code ec;
  std::filesystem::remove_all(path, ec);
}

}  // namespace tolvatest
