// Runs the real program as a user would, against a fresh data root.

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "support/TempHome.h"
#include "support/TestHTTPServer.h"

namespace {

namespace fs = std::filesystem;

struct ProgramRun {
  int status = -1;
  std::string output;
};

// Without a display the program cannot open its window; with --headless it never tries.
ProgramRun runTolva(const std::string& home, const std::string& args, bool display = true) {
  std::string env = display ? "" : "env -u DISPLAY -u WAYLAND_DISPLAY ";
  std::string cmd = env + "TOLVA_HOME='" + home + "' '" TOLVA_BINARY "' " + args + " 2>&1";
  ProgramRun r;
  FILE* p = ::popen(cmd.c_str(), "r");
  if (!p) return r;
  std::array<char, 4096> buf;
  size_t n;
  while ((n = std::fread(buf.data(), 1, buf.size(), p)) > 0) r.output.append(buf.data(), n);
  int st = ::pclose(p);
  r.status = WIFEXITED(st) ? WEXITSTATUS(st) : -1;
  return r;
}

std::string slurp(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

std::vector<fs::path> asideCopies(const fs::path& dir, const std::string& name) {
  std::vector<fs::path> found;
  for (auto& e : fs::directory_iterator(dir))
    if (e.path().filename().string().rfind(name + ".corrupt-", 0) == 0) found.push_back(e.path());
  return found;
}

TEST(ProgramStart, HeadlessStartsOnAFreshHomeAndExitsCleanly) {
  tolvatest::TempHome home;
  ProgramRun r = runTolva(home.path(), "--headless");
  EXPECT_EQ(r.status, 0) << r.output;
  EXPECT_TRUE(fs::is_directory(home.path() + "/data"));
  EXPECT_TRUE(fs::is_directory(home.path() + "/cache"));
}

TEST(ProgramStart, RefusesUnknownOptions) {
  tolvatest::TempHome home;
  ProgramRun r = runTolva(home.path(), "--no-such-option");
  EXPECT_EQ(r.status, 2);
  EXPECT_NE(r.output.find("usage: tolva"), std::string::npos);
}

TEST(ProgramStart, CorruptPreferencesAndKeychainAreMovedAsideNotOverwritten) {
  tolvatest::TempHome home;
  fs::path data = home.path() + "/data";
  fs::create_directories(data);
  const std::string badPrefs = "<?xml version=\"1.0\"?><plist><dict><key>half";
  const std::string badKeychain = "bplist00\x01\x02garbage";
  std::ofstream(data / "Preferences.plist", std::ios::binary) << badPrefs;
  std::ofstream(data / "keychain.plist", std::ios::binary) << badKeychain;

  ProgramRun r = runTolva(home.path(), "--headless");
  EXPECT_EQ(r.status, 0) << r.output;
  EXPECT_NE(r.output.find("Preferences.plist"), std::string::npos) << r.output;
  EXPECT_NE(r.output.find("keychain.plist"), std::string::npos) << r.output;

  auto prefs = asideCopies(data, "Preferences.plist");
  auto keys = asideCopies(data, "keychain.plist");
  ASSERT_EQ(prefs.size(), 1u);
  ASSERT_EQ(keys.size(), 1u);
  EXPECT_EQ(slurp(prefs[0]), badPrefs);
  EXPECT_EQ(slurp(keys[0]), badKeychain);

  // A second start finds nothing wrong and keeps the moved copies.
  ProgramRun again = runTolva(home.path(), "--headless");
  EXPECT_EQ(again.status, 0);
  EXPECT_EQ(asideCopies(data, "Preferences.plist").size(), 1u);
}

TEST(ProgramStart, HeadlessLoadsAGivenPageAndCompletesTheStartUp) {
  tolvatest::TempHome home;
  tolvatest::TestHTTPServer server;
  server.route("GET", "/", tolvatest::TestResponse::html("<html><head><title>Hi</title></head><body>hi</body></html>"));
  std::string url = server.url("/");
  ProgramRun r = runTolva(home.path(), "--headless '" + url + "'");
  EXPECT_EQ(r.status, 0) << r.output;
  EXPECT_NE(r.output.find("Tolva: tab " + url), std::string::npos) << r.output;
  EXPECT_NE(r.output.find("Tolva: loaded " + url + " (HTTP 200"), std::string::npos) << r.output;
  EXPECT_NE(r.output.find("title \"Hi\""), std::string::npos) << r.output;
  EXPECT_NE(r.output.find("start-up complete"), std::string::npos) << r.output;
  EXPECT_EQ(server.requestsFor("/").size(), 1u);

  // A title cannot drive the terminal.
  server.route("GET", "/esc", tolvatest::TestResponse::html("<title>A\x1b]0;owned\x07\xC2\x9B" "2JB</title>"));
  ProgramRun esc = runTolva(home.path(), "--headless '" + server.url("/esc") + "'");
  EXPECT_EQ(esc.status, 0) << esc.output;
  EXPECT_NE(esc.output.find("title \"A]0;owned2JB\""), std::string::npos) << esc.output;
  EXPECT_EQ(esc.output.find_first_of("\x1b\x07"), std::string::npos) << esc.output;
  EXPECT_EQ(esc.output.find("\xC2\x9B"), std::string::npos) << esc.output;

  // A page that cannot be loaded is reported; the start-up still completes.
  server.stop();
  ProgramRun down = runTolva(home.path(), "--headless '" + url + "'");
  EXPECT_EQ(down.status, 0) << down.output;
  EXPECT_NE(down.output.find("could not load"), std::string::npos) << down.output;
}

TEST(ProgramStart, PhoneAndTolpURLsStartToo) {
  tolvatest::TempHome home;
  tolvatest::TestHTTPServer server;
  server.route("GET", "/a", tolvatest::TestResponse::html("<title>A</title>"));
  std::string hostPort = server.origin().substr(std::string("http://").size());
  ProgramRun r = runTolva(home.path(), "--headless --phone tolp://" + hostPort + "/a");
  EXPECT_EQ(r.status, 0) << r.output;
  EXPECT_NE(r.output.find("Tolva: loaded http://" + hostPort + "/a (HTTP 200"), std::string::npos) << r.output;
  // Without --headless and without a display it says why it cannot open a window.
  ProgramRun plain = runTolva(home.path(), "", /*display=*/false);
  EXPECT_EQ(plain.status, 1) << plain.output;
  EXPECT_NE(plain.output.find("cannot open a display"), std::string::npos) << plain.output;
}

TEST(ProgramStart, RefusesTextThatIsNoURL) {
  tolvatest::TempHome home;
  ProgramRun r = runTolva(home.path(), "--headless 'no url here'");
  EXPECT_EQ(r.status, 2);
  EXPECT_NE(r.output.find("not a URL"), std::string::npos) << r.output;
}

// Whoever reads the program's output may go away: what it writes then fails,
// and the program carries on instead of being ended by SIGPIPE.
TEST(ProgramStart, AReaderThatHungUpDoesNotEndTheProgram) {
  tolvatest::TempHome home;
  int fds[2];
  ASSERT_EQ(::pipe(fds), 0);
  ::close(fds[0]);
  pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    std::signal(SIGPIPE, SIG_DFL);  // an ignored signal would stay ignored across exec
    ::dup2(fds[1], STDOUT_FILENO);
    ::setenv("TOLVA_HOME", home.path().c_str(), 1);
    ::execl(TOLVA_BINARY, TOLVA_BINARY, "--headless", static_cast<char*>(nullptr));
    ::_exit(127);
  }
  ::close(fds[1]);
  int status = 0;
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  EXPECT_FALSE(WIFSIGNALED(status)) << "ended by signal " << WTERMSIG(status);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
}

}  // namespace
