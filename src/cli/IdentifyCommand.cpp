#include <iostream>

#include "cli/Commands.h"

int RunIdentify(const std::vector<std::string>&) {
  std::cerr << "vortuner-cli: identify is not available yet\n";
  return 1;
}
