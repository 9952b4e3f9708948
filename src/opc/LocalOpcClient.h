// The OPC client of this computer: connects to the servers installed here (the built-in
// simulated plant server among them), keeps groups with dead band and update rate, and
// items whose value and quality follow the server at the group's update rate.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "opc/LocalOpcServer.h"
#include "opc/OpcClient.h"

class Clock;

// Quality words the client reports besides Good (OPC DA): an ID the server does not
// know, and an item without an active connection.
constexpr int OpcQualityConfigError = 0x04;
constexpr int OpcQualityNotConnected = 0x08;

// A server the client can list and connect to. The server is started on the first
// connection and keeps running (its state carries over) until the client ends.
struct LocalServerEntry {
  std::string Name;
  std::function<std::unique_ptr<LocalOpcServer>()> Start;
};

std::unique_ptr<OpcClient> CreateLocalOpcClient(const Clock& clock,
                                                std::vector<LocalServerEntry> servers);
// The servers of this computer: the built-in simulated plant server.
std::unique_ptr<OpcClient> CreateLocalOpcClient(const Clock& clock);
