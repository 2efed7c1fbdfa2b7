// The command line run in the test's scratch folder, as a test fixture: its
// exit code, and what it wrote to stdout and to stderr until the next run.
// For the tests that link the command line.
#pragma once

#include <sstream>
#include <string>
#include <vector>

#include "cli/cli.h"
#include "support/test_support.h"

namespace kws::test {

class CliRunTest : public ScratchDirTest {
 protected:
  int Run(const std::vector<std::string>& args) {
    out_.str("");
    err_.str("");
    return RunCli(args, out_, err_);
  }
  // The working folders' home in the scratch folder, or a folder in it.
  std::string Home(const std::string& sub = "") const { return Path("home") + (sub.empty() ? "" : "/" + sub); }

  std::ostringstream out_, err_;
};

}  // namespace kws::test
