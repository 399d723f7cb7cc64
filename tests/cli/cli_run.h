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

// The built program followed by `args`, as a shell command line.
inline std::string CliCommand(const std::string& args) {
  return Quote(ORVANE_CLI_PATH) + " " + args;
}

// Runs a shell command line and keeps its standard output; `err` is left to
// the caller.
inline CliResult RunShell(const std::string& command) {
  CliResult r;
  FILE* f = popen(command.c_str(), "r");
  if (!f) return r;
  char buf[4096];
  size_t n;
  while ((n = fread(buf, 1, sizeof buf, f)) > 0) r.out.append(buf, n);
  const int st = pclose(f);
  r.status = WIFEXITED(st) ? WEXITSTATUS(st) : -1;
  return r;
}

// `args` go to the shell as they are; standard error passes through a file
// in `dir`.
inline CliResult RunCli(const std::string& args, const synth::TempDir& dir) {
  const std::string err_file = dir.File("cli-stderr.txt");
  CliResult r = RunShell(CliCommand(args) + " 2>" + Quote(err_file));
  std::ifstream in(err_file);
  r.err.assign(std::istreambuf_iterator<char>(in), {});
  return r;
}

}  // namespace orvane::cli_test
