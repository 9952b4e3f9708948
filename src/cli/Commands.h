// cli/ is vortuner-cli: the core's operations from the command line, without a window.
//
// The commands of vortuner-cli. Each takes its own arguments (without the command
// name), prints its result to standard output and errors to standard error, and
// returns the process exit code.
#pragma once

#include <string>
#include <vector>

int RunIdentify(const std::vector<std::string>& args);
int RunTune(const std::vector<std::string>& args);
int RunReport(const std::vector<std::string>& args);
int RunOpc(const std::vector<std::string>& args);
int RunExperiment(const std::vector<std::string>& args);
