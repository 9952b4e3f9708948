// The OPC client of a plant reached over OPC UA: server names are endpoint URLs
// ("opc.tcp://host:4840"), item IDs are node ids ("ns=2;s=MV", "ns=1;i=1001",
// "nsu=URI;s=MV"). A group reads all its items in one request at its update rate when one
// of them is asked for its value; a write goes out at once in the node's own data type.
//
// The group reads rather than subscribes: measured against a server that publishes at
// most every 50 ms, a Read shows a written value within half a millisecond, a subscription
// only after the next publishing interval, which would age every recorded sample.
//
// A link that fails (the server gone, no answer within the timeout, garbage) makes the
// connection inactive at once and fires the disconnect handler; nothing is written after
// that until the engineer connects again. Disconnect and the client's end abort a request
// in flight (the socket shut down) rather than wait for a server that does not answer.
#pragma once

#include <memory>

#include "opc/OpcClient.h"
#include "opc/ua/UaChannel.h"
#include "opc/ua/UaTypes.h"

class Clock;

inline constexpr const char* DefaultUaEndpointUrl = "opc.tcp://localhost:4840";
inline bool IsUaEndpointUrl(const std::string& name) { return name.rfind("opc.tcp://", 0) == 0; }

// One spelling of an endpoint for comparing two URLs: scheme and host in lower case, the
// local computer's names (localhost, 127.0.0.1, ::1, its host name) as "localhost", the
// default port 4840 written out, no trailing "/". Not a URL to connect to.
std::string UaEndpointKey(const std::string& url);
inline bool SameUaEndpoint(const std::string& a, const std::string& b) {
  return UaEndpointKey(a) == UaEndpointKey(b);
}

// The OPC UA servers a discovery server knows (FindServers at discoveryUrl, no session):
// the opc.tcp endpoint URLs of each server application, in the order given. None when no
// discovery server answers within timeoutMs, as on a computer without one.
std::vector<std::string> DiscoverUaServers(const std::string& discoveryUrl, int timeoutMs);

// Whether this user may write a node, from its AccessLevel and UserAccessLevel as read;
// Unknown when the node's own level is not given.
OpcAccess AccessOfUaLevels(const UaDataValue& level, const UaDataValue& userLevel);

std::unique_ptr<OpcClient> CreateUaOpcClient(const Clock& clock, UaChannelLimits limits = {});
