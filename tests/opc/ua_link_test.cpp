// The client against peers that break the protocol: silence, another protocol, refused
// connections, sizes out of bounds. Each ends in a clear message within the timeout and
// leaves the channel closed.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <string>
#include <thread>

#include "opc/ua/UaBinary.h"
#include "opc/ua/UaClient.h"

namespace {

// A loopback server that accepts one connection, waits for the client's first bytes and
// answers them with the given bytes (none: silence), then holds the connection open.
class ScriptedPeer {
 public:
  explicit ScriptedPeer(std::string answer) : answer_(std::move(answer)) {
    listener_ = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::bind(listener_, reinterpret_cast<sockaddr*>(&a), sizeof a);
    ::listen(listener_, 1);
    socklen_t length = sizeof a;
    ::getsockname(listener_, reinterpret_cast<sockaddr*>(&a), &length);
    port_ = ntohs(a.sin_port);
    thread_ = std::thread([this] {
      const int c = ::accept(listener_, nullptr, nullptr);
      if (c < 0) return;
      char buffer[4096];
      if (::recv(c, buffer, sizeof buffer, 0) > 0 && !answer_.empty())
        ::send(c, answer_.data(), answer_.size(), MSG_NOSIGNAL);
      ::recv(c, buffer, sizeof buffer, 0);  // until the client closes
      ::close(c);
    });
  }
  ~ScriptedPeer() {
    ::shutdown(listener_, SHUT_RDWR);
    thread_.join();
    ::close(listener_);
  }
  std::string Url() const { return "opc.tcp://127.0.0.1:" + std::to_string(port_); }

 private:
  std::string answer_;
  int listener_ = -1;
  int port_ = 0;
  std::thread thread_;
};

// An Acknowledge with the given buffer sizes.
std::string Acknowledge(std::uint32_t receive, std::uint32_t send) {
  UaWriter w;
  w.Bytes().append("ACKF");
  w.UInt32(28);
  w.UInt32(0);
  w.UInt32(receive);
  w.UInt32(send);
  w.UInt32(0);
  w.UInt32(0);
  return w.Bytes();
}

std::string ConnectError(const std::string& answer) {
  ScriptedPeer peer(answer);
  UaChannelLimits limits;
  limits.TimeoutMs = 300;
  UaClient client(limits);
  try {
    client.Connect(peer.Url());
  } catch (const UaLinkError& e) {
    EXPECT_FALSE(client.IsConnected());
    EXPECT_FALSE(client.Channel().IsOpen());
    return e.what();
  }
  return "connected";
}

TEST(UaLink, APeerThatBreaksTheProtocolIsLeftWithAClearMessage) {
  const auto start = std::chrono::steady_clock::now();
  // A silent peer: the request's time-out (0.3 s here) runs out before the connect's bound.
  EXPECT_EQ(ConnectError(""),
            "The server did not answer in time (a request's time-out of 0.3 s ran out)");
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2));

  EXPECT_EQ(ConnectError("HTTP/1.1 400 Bad Request\r\n\r\n"),
            "The server sent something that is not OPC UA (message type 'HTT')");

  UaWriter refusal;
  refusal.Bytes().append("ERRF");
  refusal.UInt32(0);
  refusal.UInt32(0x80830000);
  refusal.String("wrong path");
  refusal.PatchUInt32(4, static_cast<std::uint32_t>(refusal.Bytes().size()));
  EXPECT_EQ(ConnectError(refusal.Bytes()),
            "The server refused the connection: BadTcpEndpointUrlInvalid: wrong path");

  EXPECT_EQ(ConnectError(Acknowledge(65535, 1u << 30)),
            "The server asked for buffer sizes outside the protocol's bounds");
  EXPECT_EQ(ConnectError(Acknowledge(100, 8192)),
            "The server asked for buffer sizes outside the protocol's bounds");
  EXPECT_EQ(ConnectError(std::string("ACKF\xF0\xFF\xFF\xFF", 8)),
            "The server sent a chunk of 4294967280 bytes, outside the negotiated 8..65535");
  // An acknowledge cut short: the peer then stays silent.
  EXPECT_EQ(ConnectError(std::string("ACKF\x1C\x00\x00\x00\x00\x00", 10)),
            "The server did not answer in time (a request's time-out of 0.3 s ran out)");
}

TEST(UaLink, AddressesThatAreNoOpcUaEndpointAreRefusedByName) {
  for (const char* url : {"http://host:4840", "opc.tcp://", "opc.tcp://host:0", "opc.tcp://host:99999",
                          "opc.tcp://host:48a0", "opc.tcp://[::1", "opc.tcp://host:"}) {
    try {
      UaEndpointUrl::Parse(url);
      ADD_FAILURE() << url;
    } catch (const UaLinkError& e) {
      EXPECT_EQ(std::string(e.what()),
                "'" + std::string(url) + "' is not an OPC UA address (opc.tcp://host:port)");
    }
  }
  EXPECT_EQ(UaEndpointUrl::Parse("opc.tcp://plant-pc").Port, 4840);
  EXPECT_EQ(UaEndpointUrl::Parse("opc.tcp://[::1]:4841/UA/Server").Host, "::1");
  EXPECT_EQ(UaEndpointUrl::Parse("opc.tcp://[::1]:4841/UA/Server").Port, 4841);
}

}  // namespace
