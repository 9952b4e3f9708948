#include <gtest/gtest.h>

#include <regex>

#include "opc/OpcMessages.h"

TEST(OpcWindowText, TheClientsTextsBecomeSlovenianWithTheirStatusNames) {
  const std::pair<const char*, const char*> cases[] = {
      {"Server \"Missing.Server.1\" not found", "Strežnik »Missing.Server.1« ne obstaja."},
      {"opc.tcp://plant:4840: The server did not answer in time",
       "Strežnik ni odgovoril v 5 s (BadTimeout)."},
      {"opc.tcp://127.0.0.1:1: Cannot connect to 127.0.0.1:1: Connection refused",
       "S strežnikom na 127.0.0.1:1 se ni mogoče povezati: na naslovu ne posluša noben strežnik."},
      {"opc.tcp://x:4840: Computer \"x\" not found: Name or service not known",
       "Računalnik »x« ni dosegljiv."},
      {"opc.tcp://plant:4840: The server closed the connection", "Strežnik je prekinil povezavo."},
      {"opc.tcp://plant:4840: The server refused the connection: BadTooManySessions",
       "Strežnik je zavrnil povezavo (BadTooManySessions)."},
      {"Cannot write Items: ns=2;s=MV (BadUserAccessDenied)",
       "Točke ns=2;s=MV ni bilo mogoče zapisati (BadUserAccessDenied)."},
      {"Cannot write Items: ns=2;s=MV (the write may have reached the server: The server did not "
       "answer in time)",
       "Točke ns=2;s=MV ni bilo mogoče zapisati: odgovor se je izgubil, vrednost je morda zapisana."},
      {"something nobody foresaw: BadInternalError",
       "Napaka povezave s strežnikom OPC (BadInternalError)."},
      {"something nobody foresaw", "Napaka povezave s strežnikom OPC."},
  };
  for (const auto& [english, slovenian] : cases) EXPECT_EQ(OpcWindowText(english), slovenian);
  // Whatever the server put into its text, none of the client's English reaches the window.
  const std::regex english(R"(\b(the|server|connection|answer|not|found|cannot)\b)",
                           std::regex::icase);
  for (const char* text : {"The server sent a malformed answer: array of 9 elements",
                           "The server keeps sending answers to requests that were never made",
                           "The connection to the server was lost: Broken pipe",
                           "The server sent something that is not OPC UA (message type 'HTT')"})
    EXPECT_FALSE(std::regex_search(OpcWindowText(text), english)) << OpcWindowText(text);
}
