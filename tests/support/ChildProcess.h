#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

namespace tolvatest {

// Starts this test program again as a child running only the tests `gtestFilter` selects, with
// the environment plus `extraEnvironment` ("NAME=value" entries). Everything the child needs is
// made before the fork, so the child only execs. Answers the child's pid, or -1 if fork failed.
pid_t startSelfAsChild(const std::string& programName, const std::string& gtestFilter,
                       const std::vector<std::string>& extraEnvironment);

}  // namespace tolvatest
