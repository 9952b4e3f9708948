// Chunks of the opc.tcp transport: headers byte by byte, a message split and put back
// together, sequence numbers, abort chunks, and the bounds on what a peer may send.
#include <gtest/gtest.h>

#include "opc/UaBytes.h"
#include "opc/ua/UaBinary.h"
#include "opc/ua/UaChunks.h"

namespace {

// A sender whose chunks carry 10 body bytes each: 8 header + 8 security + 8 sequence + 10.
UaChunkSender SmallSender() {
  UaChunkSender s;
  s.ChannelId = 1;
  s.TokenId = 2;
  s.NextSequenceNumber = 5;
  s.SendBufferSize = 34;
  return s;
}

TEST(UaChunks, AMessageIsSplitIntoChunksThatFitThePeersBuffer) {
  UaChunkSender sender = SmallSender();
  const std::string body = "0123456789abcdefghijKLMNO";
  const auto chunks = sender.Chunks("MSG", 9, body);
  ASSERT_EQ(chunks.size(), 3u);
  EXPECT_EQ(Hex(chunks[0].substr(0, 24)),
            "4D 53 47 43 22 00 00 00 01 00 00 00 02 00 00 00 05 00 00 00 09 00 00 00");
  EXPECT_EQ(chunks[0].substr(24), "0123456789");
  EXPECT_EQ(chunks[1][3], 'C');
  EXPECT_EQ(Hex(chunks[2].substr(0, 8)), "4D 53 47 46 1D 00 00 00");  // final, 29 bytes
  EXPECT_EQ(Hex(chunks[2].substr(16, 4)), "07 00 00 00");            // one number per chunk
  EXPECT_EQ(sender.NextSequenceNumber, 8u);

  UaChunkAssembler assembler(1 << 20, 16);
  assembler.SetChannelId(1);
  EXPECT_FALSE(assembler.Add(chunks[0]));
  EXPECT_FALSE(assembler.Add(chunks[1]));
  const auto message = assembler.Add(chunks[2]);
  ASSERT_TRUE(message);
  EXPECT_EQ(message->Type, "MSG");
  EXPECT_EQ(message->RequestId, 9u);
  EXPECT_EQ(message->Body, body);
}

TEST(UaChunks, OpenSecureChannelCarriesThePolicyAndNoCertificates) {
  UaChunkSender sender;
  const auto chunks = sender.Chunks("OPN", 1, "x");
  ASSERT_EQ(chunks.size(), 1u);
  UaReader r(chunks[0]);
  EXPECT_EQ(r.Raw(4), "OPNF");
  EXPECT_EQ(r.UInt32(), chunks[0].size());
  EXPECT_EQ(r.UInt32(), 0u);  // no channel yet
  EXPECT_EQ(r.String(), UaSecurityPolicyNone);
  EXPECT_EQ(r.Int32(), -1);
  EXPECT_EQ(r.Int32(), -1);
}

TEST(UaChunks, SequenceNumbersWrapBelow1024AndAreCheckedOnReceipt) {
  UaChunkSender sender = SmallSender();
  sender.NextSequenceNumber = 4'294'966'271u;
  const auto wrapped = sender.Chunks("MSG", 1, "0123456789abc");
  EXPECT_EQ(sender.NextSequenceNumber, 2u);
  UaChunkAssembler assembler(1 << 20, 16);
  EXPECT_FALSE(assembler.Add(wrapped[0]));
  EXPECT_TRUE(assembler.Add(wrapped[1]));  // 4294966271 then 1 is a wrap, not a jump

  UaChunkSender jumping = SmallSender();
  const auto first = jumping.Chunks("MSG", 2, "a");
  jumping.NextSequenceNumber += 5;
  const auto second = jumping.Chunks("MSG", 3, "b");
  UaChunkAssembler strict(1 << 20, 16);
  strict.Add(first[0]);
  try {
    strict.Add(second[0]);
    FAIL();
  } catch (const UaLinkError& e) {
    EXPECT_STREQ(e.what(), "The server's sequence number jumped from 5 to 11");
  }
}

TEST(UaChunks, AnAbortChunkEndsItsMessageWithTheServersReason) {
  UaChunkSender sender = SmallSender();
  const auto chunks = sender.Chunks("MSG", 4, "0123456789abcdef");
  UaWriter abort;
  abort.Bytes().append("MSGA");
  abort.UInt32(0);
  abort.UInt32(1);
  abort.UInt32(2);
  abort.UInt32(6);  // the sequence number after the first chunk
  abort.UInt32(4);
  abort.UInt32(0x80B90000);
  abort.String("too big");
  abort.PatchUInt32(4, static_cast<std::uint32_t>(abort.Bytes().size()));
  UaChunkAssembler assembler(1 << 20, 16);
  EXPECT_FALSE(assembler.Add(chunks[0]));
  const auto message = assembler.Add(abort.Bytes());
  ASSERT_TRUE(message);
  EXPECT_TRUE(message->Aborted);
  EXPECT_EQ(UaStatusName(message->AbortStatus), "BadResponseTooLarge");
  EXPECT_EQ(message->AbortReason, "too big");
}

TEST(UaChunks, WhatAPeerMaySendIsBounded) {
  try {
    DecodeMessageHeader("HTTP/1.1", 65535);
    FAIL();
  } catch (const UaLinkError& e) {
    EXPECT_STREQ(e.what(), "The server sent something that is not OPC UA (message type 'HTT')");
  }
  EXPECT_THROW(DecodeMessageHeader(std::string("MSGF\xFF\xFF\x01\x00", 8), 65535), UaLinkError);
  EXPECT_THROW(DecodeMessageHeader(std::string("MSGX\x20\x00\x00\x00", 8), 65535), UaLinkError);
  EXPECT_THROW(DecodeMessageHeader(std::string("MSGF\x04\x00\x00\x00", 8), 65535), UaLinkError);

  // Reassembly stops at the memory cap and at the chunk count.
  UaChunkSender sender = SmallSender();
  const auto chunks = sender.Chunks("MSG", 1, std::string(25, 'z'));
  UaChunkAssembler small(15, 16);
  small.Add(chunks[0]);
  EXPECT_THROW(small.Add(chunks[1]), UaLinkError);
  UaChunkAssembler few(1 << 20, 2);
  few.Add(chunks[0]);
  few.Add(chunks[1]);
  EXPECT_THROW(few.Add(chunks[2]), UaLinkError);

  // A chunk from another channel, or one cut short, is refused.
  UaChunkAssembler other(1 << 20, 16);
  other.SetChannelId(99);
  EXPECT_THROW(other.Add(chunks[0]), UaLinkError);
  UaChunkAssembler cut(1 << 20, 16);
  EXPECT_THROW(cut.Add(chunks[0].substr(0, 20)), UaLinkError);

  // A request larger than the peer takes is refused before anything is sent.
  UaChunkSender limited = SmallSender();
  limited.MaxChunkCount = 2;
  EXPECT_THROW(limited.Chunks("MSG", 1, std::string(25, 'z')), UaLinkError);
  EXPECT_EQ(limited.NextSequenceNumber, 5u);
}

}  // namespace
