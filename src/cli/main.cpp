// vortuner-cli: the core's operations for batch work and scripts.
#include <cstring>
#include <exception>
#include <iostream>

#include "cli/Commands.h"

namespace {
const char* const Usage =
    "Usage: vortuner-cli COMMAND [OPTIONS]\n"
    "Commands:\n"
    "  identify   identify the process models from a data file\n"
    "  tune       tune the controllers from a process model\n"
    "  report     write the report document (.docx or PDF) of a data file\n"
    "  opc        browse, read, write and watch the nodes of an OPC UA server\n"
    "  experiment run a settings file's automatic experiment without a window\n"
    "Run 'vortuner-cli COMMAND --help' for a command's options.\n";
}  // namespace

int main(int argc, char** argv) {
  if (argc < 2 || std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0) {
    std::cout << Usage;
    return argc < 2 ? 2 : 0;
  }
  const std::string command = argv[1];
  const std::vector<std::string> args(argv + 2, argv + argc);
  try {
    if (command == "identify") return RunIdentify(args);
    if (command == "tune") return RunTune(args);
    if (command == "report") return RunReport(args);
    if (command == "opc") return RunOpc(args);
    if (command == "experiment") return RunExperiment(args);
  } catch (const std::exception& e) {
    std::cerr << "vortuner-cli: " << e.what() << "\n";
    return 1;
  }
  std::cerr << "vortuner-cli: unknown command '" << command << "'\n" << Usage;
  return 2;
}
