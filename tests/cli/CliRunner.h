// Runs the built vortuner-cli with arguments and collects its output and exit code.
#pragma once

#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "data/TextFile.h"

struct CliRun {
  int ExitCode = -1;
  std::string Out, Err;
};

// `vortuner-cli <command> <arguments>`; the binary is found through VORTUNER_BINARY_DIR.
inline CliRun RunCli(const std::string& command, const std::string& arguments) {
  const char* build = std::getenv("VORTUNER_BINARY_DIR");
  const std::string binary = std::string(build ? build : "build") + "/src/vortuner-cli";
  const std::string errFile = (std::filesystem::temp_directory_path() /
                               ("vortuner_cli_err_" + std::to_string(::getpid())))
                                  .string();
  // The command's user data folder (its plant-write log, its certificates) lies in the
  // build tree, never in the home of whoever runs the tests.
  const std::string data = std::string(build ? build : "build") + "/cli-test-data";
  CliRun r;
  FILE* pipe = ::popen(("XDG_DATA_HOME='" + std::filesystem::absolute(data).string() + "' " +
                        binary + " " + command + " " + arguments + " 2>" + errFile)
                           .c_str(),
                       "r");
  if (!pipe) return r;
  std::array<char, 4096> buffer{};
  size_t n = 0;
  while ((n = std::fread(buffer.data(), 1, buffer.size(), pipe)) > 0) r.Out.append(buffer.data(), n);
  const int status = ::pclose(pipe);
  r.ExitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  for (const std::string& line : ReadTextLines(errFile)) r.Err += line + "\n";
  std::filesystem::remove(errFile);
  return r;
}
