// Random bytes as what an OPC UA server sends: a stream of chunks put together and every
// message decoded as the response it names, and the same bytes as the body of each
// response this client reads; the same chunks on a signed and on an encrypted channel, and
// the bytes as a body that such a channel sends and reads back. Nothing may crash, hang or
// read out of bounds; what is decoded stays within the budget the bytes allow; a value
// that decodes writes out and reads back to the same bytes.
// Standalone libFuzzer target: clang++ -fsanitize=fuzzer,address,undefined with
// src/opc/ua/*.cpp (or fuzz_ua_response from the fuzz folder's CMake).
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include "opc/ua/UaBinary.h"
#include "opc/ua/UaChunkSecurity.h"
#include "opc/ua/UaChunks.h"
#include "opc/ua/UaServices.h"

namespace {

constexpr std::uint32_t Responses[] = {
    UaMessageId::OpenSecureChannelResponse, UaMessageId::GetEndpointsResponse,
    UaMessageId::FindServersResponse,       UaMessageId::CreateSessionResponse,
    UaMessageId::ActivateSessionResponse,   UaMessageId::ReadResponse,
    UaMessageId::WriteResponse,             UaMessageId::BrowseResponse,
    UaMessageId::CreateSubscriptionResponse, UaMessageId::CreateMonitoredItemsResponse,
    UaMessageId::PublishResponse};

void Check(bool condition, const char* what) {
  if (condition) return;
  std::fprintf(stderr, "fuzz check failed: %s\n", what);
  std::abort();
}

// Decodes the bytes as the response; what it builds may not pass the budget of the bytes.
void Decode(std::uint32_t type, std::string_view body) {
  try {
    const std::size_t decoded = DecodeAnyResponse(type, body);
    Check(decoded <= UaDecodeBudget(body.size()), "a response decodes past its budget");
    Check(decoded <= UaDecodeFactor * body.size() && decoded <= UaDecodeCap,
          "a response decodes to more than its bytes allow");
  } catch (const UaDecodeError&) {
  }
}

void DecodeMessage(std::string_view body) {
  try {
    UaReader r(body);
    const UaNodeId type = r.NodeId();
    Decode(type.Numeric, body.substr(r.Position()));
  } catch (const UaDecodeError&) {
  }
}

// A data value that decodes writes out to bytes that decode and write out the same.
void RoundTrip(std::string_view bytes) {
  try {
    UaReader r(bytes);
    const UaDataValue v = r.DataValue();
    UaWriter once;
    once.DataValue(v);
    UaReader again(once.Bytes());
    UaWriter twice;
    twice.DataValue(again.DataValue());
    Check(again.AtEnd(), "a written data value reads back shorter");
    Check(once.Bytes() == twice.Bytes(), "a data value does not write back the same");
  } catch (const UaDecodeError&) {
  }
}

// The two sides of a channel with fixed nonces (token 1): what the client reads with,
// and what the server sends with.
struct Secured {
  UaChannelSecurity Client, Server;
  explicit Secured(UaSecurityMode mode) {
    for (UaChannelSecurity* s : {&Client, &Server}) {
      s->Policy = FindUaSecurityPolicy("Basic256Sha256");
      s->Mode = mode;
    }
    const std::string a(32, 'a'), b(32, 'b');
    Client.AddToken(1, a, b);
    Server.AddToken(1, b, a);
  }
};

void Chunks(std::string_view in, const UaChannelSecurity* security) {
  UaChunkAssembler assembler(1 << 20, 64);
  assembler.SetSecurity(security);
  std::string_view rest = in;
  try {
    while (rest.size() >= UaHeaderSize) {
      const UaMessageHeader h = DecodeMessageHeader(rest.substr(0, UaHeaderSize), 65535);
      if (h.Size > rest.size()) break;
      if (h.Type == "MSG" || h.Type == "OPN" || h.Type == "CLO")
        if (auto message = assembler.Add(rest.substr(0, h.Size)); message && !message->Aborted)
          DecodeMessage(message->Body);
      rest.remove_prefix(h.Size);
    }
  } catch (const UaLinkError&) {
  }
}

// What the server secures, the client reads back whole.
void SecuredRoundTrip(const Secured& channel, std::string_view body) {
  UaChunkSender sender;
  sender.ChannelId = 1;
  sender.TokenId = 1;
  sender.SendBufferSize = 8192;
  sender.Security = &channel.Server;
  UaChunkAssembler assembler(1 << 20, 64);
  assembler.SetSecurity(&channel.Client);
  std::string got;
  for (const std::string& c : sender.Chunks("MSG", 7, body))
    if (auto m = assembler.Add(c)) got = m->Body;
  Check(got == body, "a secured message does not read back the same");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view in(reinterpret_cast<const char*>(data), size);

  static const Secured signedChannel(UaSecurityMode::Sign),
      encrypted(UaSecurityMode::SignAndEncrypt);
  Chunks(in, nullptr);
  Chunks(in, &signedChannel.Client);
  Chunks(in, &encrypted.Client);
  SecuredRoundTrip(signedChannel, in);
  SecuredRoundTrip(encrypted, in);

  for (std::uint32_t type : Responses) Decode(type, in);
  RoundTrip(in);
  return 0;
}
