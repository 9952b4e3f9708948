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

// The server list file: one endpoint URL a line. A missing or unreadable file gives the
// default endpoint; lines that are no endpoint URL are left out.
std::vector<std::string> ReadUaServerList(const std::string& path);

// discoveryUrl: where ListServers asks for the servers of the computer (none when empty).
std::unique_ptr<OpcClient> CreatePlantOpcClient(const Clock& clock, std::string serverListFile,
                                                std::string discoveryUrl = DefaultUaEndpointUrl);
