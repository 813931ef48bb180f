// Start-up of the browser against surf, the minimal WebKitGTK browser: each
// is started five times (in turns) under xvfb-run with a fresh home on the
// same page served on 127.0.0.1. The time is taken when the page's onload
// handler fetches /loaded from this program's server; the memory is the
// summed proportional set size (smaps_rollup) of the browser's process tree
// at that moment. Prints
//   case=startup tolva_s=<median> surf_s=<median> ratio_time=<tolva/surf>
//   tolva_mib=<median> surf_mib=<median> ratio_mem=<tolva/surf>
// Targets: ratio_time <= 1.05, ratio_mem <= 1.1. bench/run_startup_bench.sh
// installs surf (bench/setup.sh), builds and runs it.
//
// Usage: startup_bench [runs] [tolva binary] [surf binary]

#include <arpa/inet.h>
#include <dirent.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <climits>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <mutex>
#include <optional>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

// ---- The page and its server

const char* const kPage =
    "<!DOCTYPE html><html><head><title>Start-up bench</title></head>"
    "<body onload=\"fetch('/loaded')\"><h1>Loaded</h1><p>A page for timing a browser's start.</p></body></html>";

class PageServer {
 public:
  PageServer() {
    fd_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (fd_ < 0 || bind(fd_, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 || listen(fd_, 64) != 0) {
      std::perror("startup_bench: server");
      std::exit(1);
    }
    socklen_t len = sizeof a;
    getsockname(fd_, reinterpret_cast<sockaddr*>(&a), &len);
    port_ = ntohs(a.sin_port);
    thread_ = std::thread([this] { serve(); });
  }
  ~PageServer() {
    stop_ = true;
    shutdown(fd_, SHUT_RDWR);
    close(fd_);
    thread_.join();
  }

  std::string url() const { return "http://127.0.0.1:" + std::to_string(port_) + "/"; }

  // Forgets an earlier /loaded before a run.
  void reset() {
    std::lock_guard<std::mutex> g(m_);
    loaded_.reset();
  }
  // When /loaded arrived, waiting at most `limit`.
  std::optional<Clock::time_point> waitLoaded(std::chrono::seconds limit) {
    std::unique_lock<std::mutex> g(m_);
    cv_.wait_for(g, limit, [this] { return loaded_.has_value(); });
    return loaded_;
  }

 private:
  void serve() {
    while (!stop_) {
      int c = accept4(fd_, nullptr, nullptr, SOCK_CLOEXEC);
      if (c < 0) continue;
      std::thread([this, c] { answer(c); }).detach();
    }
  }
  void answer(int c) {
    std::string request;
    char buf[4096];
    while (request.find("\r\n\r\n") == std::string::npos) {
      ssize_t n = read(c, buf, sizeof buf);
      if (n <= 0) break;
      request.append(buf, static_cast<size_t>(n));
    }
    std::string path;
    std::istringstream(request) >> path >> path;
    std::string status = "200 OK", type = "text/html; charset=utf-8", body;
    if (path == "/") {
      body = kPage;
    } else if (path == "/loaded") {
      {
        std::lock_guard<std::mutex> g(m_);
        if (!loaded_) loaded_ = Clock::now();
      }
      cv_.notify_all();
      type = "text/plain";
      body = "ok";
    } else {
      status = "404 Not Found";
      type = "text/plain";
      body = "none";
    }
    std::string reply = "HTTP/1.1 " + status + "\r\nContent-Type: " + type +
                        "\r\nCache-Control: no-store\r\nConnection: close\r\nContent-Length: " +
                        std::to_string(body.size()) + "\r\n\r\n" + body;
    for (size_t at = 0; at < reply.size();) {
      ssize_t n = write(c, reply.data() + at, reply.size() - at);
      if (n <= 0) break;
      at += static_cast<size_t>(n);
    }
    close(c);
  }

  int fd_ = -1;
  uint16_t port_ = 0;
  std::atomic<bool> stop_{false};
  std::thread thread_;
  std::mutex m_;
  std::condition_variable cv_;
  std::optional<Clock::time_point> loaded_;
};

// ---- Processes

std::map<pid_t, pid_t> parents() {
  std::map<pid_t, pid_t> out;
  for (const auto& e : std::filesystem::directory_iterator("/proc")) {
    const std::string name = e.path().filename();
    if (name.find_first_not_of("0123456789") != std::string::npos) continue;
    std::ifstream stat(e.path() / "stat");
    std::string line;
    if (!std::getline(stat, line)) continue;
    size_t close = line.rfind(')');
    if (close == std::string::npos) continue;
    std::istringstream rest(line.substr(close + 2));
    char state;
    pid_t ppid;
    rest >> state >> ppid;
    out[std::stoi(name)] = ppid;
  }
  return out;
}

std::string exeOf(pid_t pid) {
  std::error_code ec;
  auto p = std::filesystem::read_symlink("/proc/" + std::to_string(pid) + "/exe", ec);
  return ec ? std::string() : p.string();
}

// Proportional set size of one process, in KiB.
long pssKiB(pid_t pid) {
  std::ifstream f("/proc/" + std::to_string(pid) + "/smaps_rollup");
  std::string key;
  long value;
  std::string unit;
  while (f >> key) {
    if (key == "Pss:") {
      f >> value >> unit;
      return value;
    }
    f.ignore(LONG_MAX, '\n');
  }
  return 0;
}

// The summed PSS of the browser's process tree under `root`: the first
// descendant running `binary`, and everything below it (its web processes).
double treeMiB(pid_t root, const std::string& binary) {
  std::map<pid_t, pid_t> up = parents();
  std::map<pid_t, std::vector<pid_t>> down;
  for (auto [pid, ppid] : up) down[ppid].push_back(pid);
  std::vector<pid_t> todo{root};
  pid_t browser = -1;
  while (!todo.empty() && browser < 0) {
    pid_t p = todo.back();
    todo.pop_back();
    if (exeOf(p) == binary) browser = p;
    for (pid_t c : down[p]) todo.push_back(c);
  }
  if (browser < 0) return 0;
  long kib = 0;
  todo = {browser};
  while (!todo.empty()) {
    pid_t p = todo.back();
    todo.pop_back();
    kib += pssKiB(p);
    for (pid_t c : down[p]) todo.push_back(c);
  }
  return kib / 1024.0;
}

struct Run {
  double seconds = 0;
  double mib = 0;
  bool ok = false;
};

Run startOnce(PageServer& server, const std::string& binary, bool isTolva) {
  char dirTemplate[] = "/tmp/startup_bench.XXXXXX";
  std::string home = mkdtemp(dirTemplate);
  for (const char* sub : {"/config", "/data", "/cache", "/tolva"}) mkdir((home + sub).c_str(), 0700);
  server.reset();
  const std::string url = server.url();
  const Clock::time_point began = Clock::now();
  pid_t child = fork();
  if (child == 0) {
    setpgid(0, 0);
    setenv("HOME", home.c_str(), 1);
    setenv("XDG_CONFIG_HOME", (home + "/config").c_str(), 1);
    setenv("XDG_DATA_HOME", (home + "/data").c_str(), 1);
    setenv("XDG_CACHE_HOME", (home + "/cache").c_str(), 1);
    if (isTolva) setenv("TOLVA_HOME", (home + "/tolva").c_str(), 1);
    execlp("xvfb-run", "xvfb-run", "-a", "-s", "-screen 0 1280x1024x24", binary.c_str(), url.c_str(),
           static_cast<char*>(nullptr));
    _exit(127);
  }
  Run run;
  if (auto loaded = server.waitLoaded(std::chrono::seconds(60))) {
    run.seconds = std::chrono::duration<double>(*loaded - began).count();
    run.mib = treeMiB(child, binary);
    run.ok = run.mib > 0;
  }
  kill(-child, SIGTERM);
  for (int i = 0; i < 50 && waitpid(child, nullptr, WNOHANG) == 0; ++i) usleep(100000);
  if (waitpid(child, nullptr, WNOHANG) == 0) {
    kill(-child, SIGKILL);
    waitpid(child, nullptr, 0);
  }
  std::error_code ec;
  std::filesystem::remove_all(home, ec);
  return run;
}

double median(std::vector<double> v) {
  if (v.empty()) return 0;
  std::sort(v.begin(), v.end());
  size_t n = v.size();
  return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

std::string which(const std::string& name) {
  if (name.find('/') != std::string::npos) return std::filesystem::weakly_canonical(name).string();
  const char* path = std::getenv("PATH");
  std::istringstream dirs(path ? path : "");
  for (std::string d; std::getline(dirs, d, ':');)
    if (access((d + "/" + name).c_str(), X_OK) == 0) return std::filesystem::weakly_canonical(d + "/" + name).string();
  return {};
}

}  // namespace

int main(int argc, char** argv) {
  const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;
  const std::string tolva = which(argc > 2 ? argv[2] : TOLVA_BINARY);
  const std::string surf = which(argc > 3 ? argv[3] : "surf");
  if (tolva.empty() || surf.empty()) {
    std::fprintf(stderr, "startup_bench: needs the tolva binary and surf (bench/setup.sh installs it)\n");
    return 1;
  }
  signal(SIGPIPE, SIG_IGN);
  PageServer server;
  std::vector<double> tolvaS, surfS, tolvaMiB, surfMiB;
  for (int i = 0; i < runs; ++i) {
    for (bool isTolva : {true, false}) {
      Run r = startOnce(server, isTolva ? tolva : surf, isTolva);
      if (!r.ok) {
        std::fprintf(stderr, "startup_bench: %s did not load the page\n", isTolva ? "tolva" : "surf");
        continue;
      }
      std::fprintf(stderr, "run %d %s: %.3f s %.1f MiB\n", i + 1, isTolva ? "tolva" : "surf", r.seconds, r.mib);
      (isTolva ? tolvaS : surfS).push_back(r.seconds);
      (isTolva ? tolvaMiB : surfMiB).push_back(r.mib);
    }
  }
  if (tolvaS.empty() || surfS.empty()) return 1;
  const double ts = median(tolvaS), ss = median(surfS), tm = median(tolvaMiB), sm = median(surfMiB);
  std::printf("case=startup tolva_s=%.3f surf_s=%.3f ratio_time=%.2f tolva_mib=%.1f surf_mib=%.1f ratio_mem=%.2f\n",
              ts, ss, ts / ss, tm, sm, tm / sm);
  return 0;
}
