#include <iostream>

#include "cli/Commands.h"

int RunTune(const std::vector<std::string>&) {
  std::cerr << "vortuner-cli: tune is not available yet\n";
  return 1;
}
