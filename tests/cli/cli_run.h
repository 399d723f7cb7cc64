#pragma once
// Runs the built command-line program as a user would, with its standard
// output and error kept apart.

#include <sys/wait.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>

#include "synth/test_support.h"

namespace orvane::cli_test {

struct CliResult {
  int status = -1;  // exit status; -1 when it did not exit normally
  std::string out;
  std::string err;
};

inline std::string Quote(const std::string& s) { return "'" + s + "'"; }

// `args` go to the shell as they are; standard error passes through a file
// in `dir`.
inline CliResult RunCli(const std::string& args, const synth::TempDir& dir) {
  const std::string err_file = dir.File("cli-stderr.txt");
  const std::string cmd = std::string(ORVANE_CLI_PATH) + " " + args + " 2>" + Quote(err_file);
  CliResult r;
  FILE* f = popen(cmd.c_str(), "r");
  if (!f) return r;
  char buf[4096];
  size_t n;
  while ((n = fread(buf, 1, sizeof buf, f)) > 0) r.out.append(buf, n);
  const int st = pclose(f);
  r.status = WIFEXITED(st) ? WEXITSTATUS(st) : -1;
  std::ifstream in(err_file);
  r.err.assign(std::istreambuf_iterator<char>(in), {});
  return r;
}

}  // namespace orvane::cli_test
