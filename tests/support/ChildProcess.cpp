#include "support/ChildProcess.h"

#include <unistd.h>

extern char** environ;

namespace tolvatest {

pid_t startSelfAsChild(const std::string& programName, const std::string& gtestFilter,
                       const std::vector<std::string>& extraEnvironment) {
  std::vector<std::string> env;
  for (char** e = environ; *e; ++e) env.emplace_back(*e);
  env.insert(env.end(), extraEnvironment.begin(), extraEnvironment.end());
  std::vector<char*> envp;
  for (std::string& e : env) envp.push_back(e.data());
  envp.push_back(nullptr);
  std::string self = "/proc/self/exe", name = programName, filter = "--gtest_filter=" + gtestFilter;
  char* argv[] = {name.data(), filter.data(), nullptr};
  const pid_t child = ::fork();
  if (child == 0) {
    ::execve(self.c_str(), argv, envp.data());
    ::_exit(127);
  }
  return child;
}

}  // namespace tolvatest
