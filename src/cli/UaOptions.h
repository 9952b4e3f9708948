// The OPC UA connection options the commands share: --security, --policy, --user,
// --password-file, --pki and --trust-server.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "opc/ua/UaSessionSecurity.h"

struct UaCommandOptions {
  UaConnectOptions Options;
  std::string PasswordFile;
  bool TrustServer = false;
};

// Takes args[i] (and its value, advancing i) when it is one of the options; false when it
// is none of them. Throws UsageError for a missing or wrong value.
bool TakeUaOption(const std::vector<std::string>& args, std::size_t& i, UaCommandOptions& o);

// After the command line: the user's password (--password-file, else the environment
// variable VORTUNER_OPC_PASSWORD; UsageError without either), and with --trust-server a
// trust answer that tells on standard error which certificate it trusted.
void CompleteUaOptions(UaCommandOptions& o, const std::string& command);

// The password's file: its first line, without the line end.
std::string ReadPasswordFile(const std::string& path);

// The options' help lines.
extern const char* const UaOptionsHelp;
