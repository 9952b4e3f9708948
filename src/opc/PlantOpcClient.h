// The program's OPC client: the built-in simulated plant server, the OPC UA servers the
// engineer has connected to, whose endpoint URLs are remembered in a file between runs,
// and those the computer's discovery server knows. Groups and items live across
// connections to either kind; each call goes to the server connected at the time.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "opc/OpcClient.h"
#include "opc/UaOpcClient.h"

class Clock;

// A server of the list and what was chosen for it.
struct UaServerEntry {
  std::string Url;
  OpcServerChoice Choice;
};
// The server list file: one endpoint URL a line, followed (tab-separated) by the security
// and the user name when the engineer chose other than automatic security and anonymous.
std::vector<UaServerEntry> ReadUaServerEntries(const std::string& path);
// The endpoint URLs of the server list file. A missing or unreadable file gives the
// default endpoint; lines that are no endpoint URL are left out.
std::vector<std::string> ReadUaServerList(const std::string& path);

// discoveryUrl: where ListServers asks for the servers of the computer (none when empty).
std::unique_ptr<OpcClient> CreatePlantOpcClient(const Clock& clock, std::string serverListFile,
                                                std::string discoveryUrl = DefaultUaEndpointUrl);
