#include "kit/net/PACEvaluator.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <climits>
#include <cstdlib>
#include <cstring>

#include "kit/foundation/Paths.h"
#include "kit/net/NetError.h"

extern char** environ;

namespace kit {

namespace {

std::optional<std::string> fail(Ref<Error>* error, const std::string& text) {
  if (error) *error = NetError::make(NetError::kProxyScriptFailure, text);
  return std::nullopt;
}

bool executable(const std::string& path) { return !path.empty() && access(path.c_str(), X_OK) == 0; }

}  // namespace

std::string PACEvaluator::helperPath() {
  if (const char* p = std::getenv("TOLVA_PAC_HELPER"); p && executable(p)) return p;
  char self[PATH_MAX];
  const ssize_t n = readlink("/proc/self/exe", self, sizeof self - 1);
  if (n > 0) {
    std::string dir(self, size_t(n));
    dir = dir.substr(0, dir.rfind('/') + 1);
    if (executable(dir + "tolva-pac")) return dir + "tolva-pac";
  }
#ifdef TOLVA_PAC_HELPER_PATH
  if (executable(TOLVA_PAC_HELPER_PATH)) return TOLVA_PAC_HELPER_PATH;
#endif
  return {};
}

std::optional<std::string> PACEvaluator::findProxyForURL(const std::string& script, const std::string& url,
                                                         const std::string& host, double timeoutSeconds,
                                                         Ref<Error>* error) {
  const std::string helper = helperPath();
  if (helper.empty()) return fail(error, "The proxy script helper is missing");

  // The script goes through a file: the helper reads it whole before it runs anything.
  std::string path = Paths::temporaryDirectory() + "/pac-XXXXXX";
  const int fd = mkstemp(path.data());
  if (fd < 0) return fail(error, "Cannot write the proxy script for its helper");
  size_t written = 0;
  while (written < script.size()) {
    const ssize_t w = write(fd, script.data() + written, script.size() - written);
    if (w <= 0) break;
    written += size_t(w);
  }
  close(fd);
  struct Remove {
    std::string p;
    ~Remove() { unlink(p.c_str()); }
  } remove{path};
  if (written != script.size()) return fail(error, "Cannot write the proxy script for its helper");

  int out[2];
  if (pipe2(out, O_CLOEXEC) != 0) return fail(error, "Cannot start the proxy script helper");
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, out[1], 1);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  std::string a0 = helper, a1 = path, a2 = url, a3 = host;
  char* argv[] = {a0.data(), a1.data(), a2.data(), a3.data(), nullptr};
  pid_t pid = -1;
  const int spawned = posix_spawn(&pid, helper.c_str(), &actions, nullptr, argv, environ);
  posix_spawn_file_actions_destroy(&actions);
  close(out[1]);
  if (spawned != 0) {
    close(out[0]);
    return fail(error, "Cannot start the proxy script helper");
  }

  std::string answer;
  bool timedOut = false;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::duration<double>(timeoutSeconds > 0 ? timeoutSeconds : 10);
  for (;;) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) {
      timedOut = true;
      break;
    }
    pollfd p{out[0], POLLIN, 0};
    const int r = poll(&p, 1, int(left.count()));
    if (r < 0 && errno == EINTR) continue;
    if (r <= 0) {
      timedOut = r == 0;
      break;
    }
    char buffer[4096];
    const ssize_t n = read(out[0], buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    if (answer.size() < 65536) answer.append(buffer, size_t(n));
  }
  close(out[0]);
  if (timedOut) kill(pid, SIGKILL);
  int status = 0;
  while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  if (timedOut) return fail(error, "The proxy script took too long");
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) return fail(error, "The proxy script failed");
  while (!answer.empty() && (answer.back() == '\n' || answer.back() == '\r')) answer.pop_back();
  return answer;
}

}  // namespace kit
