// Runs the program as a separate process with its standard error kept apart (Linux).
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <string>
#include <vector>

#include "tests/support/sim_runner.h"
#include "tests/support/test_files.h"

// Standard output and standard error of one run, each on its own.
struct SplitRun {
  int status = -1;
  std::string out;
  std::string err;
};

// Runs the program with its standard error in a file of its own; stdoutPath, when given, takes
// its standard output instead of the pipe (a pseudo-terminal's slave: then drain reads it).
inline SplitRun RunSplit(const CTempFolder& tmp, const std::vector<std::string>& args,
                         const std::string& stdoutPath = std::string(),
                         const std::function<std::string()>& drain = nullptr) {
  const std::string errPath = tmp.Path("stderr.txt");
  std::vector<std::string> shArgs = {
      "-c", stdoutPath.empty() ? "e=$1; shift; exec \"$@\" 2>\"$e\""
                               : "e=$1; o=$2; shift 2; exec \"$@\" 2>\"$e\" >\"$o\"",
      "sh", errPath};
  if (!stdoutPath.empty()) shArgs.push_back(stdoutPath);
  shArgs.push_back(QUORIN_EXE_PATH);
  shArgs.insert(shArgs.end(), args.begin(), args.end());
  CSimRunner run;
  SplitRun result;
  EXPECT_TRUE(run.Spawn("/bin/sh", shArgs));
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
  while (run.Poll(20)) {
    if (drain) result.out += drain();
    if (std::chrono::steady_clock::now() > deadline) {
      ADD_FAILURE() << "the program did not end; output so far:\n" << run.Output() << result.out;
      run.Kill();
    }
  }
  run.Wait(5000);
  if (drain) result.out += drain();
  result.status = run.ExitStatus();
  if (stdoutPath.empty()) result.out = run.Output();
  const ByteVec err = ReadWholeFile(errPath);
  result.err.assign(err.begin(), err.end());
  return result;
}
