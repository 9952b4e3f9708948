#include <gtest/gtest.h>

#include <regex>

#include "opc/OpcMessages.h"

TEST(OpcWindowText, TheClientsTextsBecomeSlovenianWithTheirStatusNames) {
  const std::pair<const char*, const char*> cases[] = {
      {"Server \"Missing.Server.1\" not found", "Strežnik »Missing.Server.1« ne obstaja."},
      {"opc.tcp://plant:4840: The server did not answer in time",
       "Strežnik ni odgovoril pravočasno (BadTimeout)."},
      // A time-out names the bound that ran out, and how long the server had answered.
      {"opc.tcp://plant:4840: The server did not answer in time (a request's time-out of 5 s "
       "ran out)",
       "Strežnik ni odgovoril na zahtevo v 5 s (BadTimeout)."},
      {"opc.tcp://plant:4840: The server did not answer in time (the connect's bound of 10 s ran "
       "out; the server had been answering for 9.5 s)",
       "Povezovanje s strežnikom ni končalo v 10 s; strežnik je odgovarjal 9,5 s (BadTimeout)."},
      {"opc.tcp://plant:4840: The server did not answer in time (the browse's bound of 20 s ran "
       "out; no answer had come in it)",
       "Brskanje po strežniku ni končalo v 20 s; strežnik ni odgovoril (BadTimeout)."},
      {"opc.tcp://plant:4840: The server refused the connection: Bad 0xBB000000 (a failure whose "
       "code this program does not know)",
       "Strežnik je zavrnil povezavo (Bad 0xBB000000)."},
      {"opc.tcp://127.0.0.1:1: Cannot connect to 127.0.0.1:1: Connection refused",
       "S strežnikom na 127.0.0.1:1 se ni mogoče povezati: na naslovu ne posluša noben strežnik."},
      {"opc.tcp://x:4840: Computer \"x\" not found: Name or service not known",
       "Računalnik »x« ni dosegljiv."},
      {"opc.tcp://plant:4840: The server closed the connection", "Strežnik je prekinil povezavo."},
      {"The connection was ended by this program",
       "Povezavo s strežnikom je končal program (»Prekini« ali izhod)."},
      {"opc.tcp://plant:4840: The server refused the connection: BadTooManySessions",
       "Strežnik je zavrnil povezavo (BadTooManySessions)."},
      {"Cannot write Items: ns=2;s=MV (BadUserAccessDenied)",
       "Točke ns=2;s=MV ni bilo mogoče zapisati (BadUserAccessDenied)."},
      {"Cannot write Items: ns=2;s=MV (the write may have reached the server: The server did not "
       "answer in time)",
       "Točke ns=2;s=MV ni bilo mogoče zapisati: odgovor se je izgubil, vrednost je morda "
       "zapisana."},
      {"Cannot write Items: ns=2;s=RA (je tipa Int32 in ne more hraniti vrednosti 2,5 (ni celo "
       "število))",
       "Točke ns=2;s=RA ni bilo mogoče zapisati: točka je tipa Int32 in ne more hraniti vrednosti "
       "2,5 (ni celo število)."},
      {"Cannot write Items: Plant.X (not a node of this server)",
       "Točke Plant.X ni bilo mogoče zapisati: strežnik take točke nima."},
      {"MV is not a finite number", "MV ni končno število; v obrat ni bilo nič zapisano."},
      {"'abc' is not a valid floating point value", "»abc« ni veljavno število."},
      {"opc.tcp://plant:4840: The server answered request 7 with the request handle 8 of "
       "another request",
       "Strežnik je odgovoril z oznako druge zahteve; povezava je prekinjena."},
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

TEST(OpcWindowText, SecurityFailuresAreSaidInSlovenianWithTheThumbprint) {
  const std::string print = "1B:7C:D9:9F:53:49:E4:99:88:60:8D:A7:A2:BB:EF:C0:93:B9:84:3B";
  const std::pair<std::string, std::string> cases[] = {
      {"opc.tcp://p:4840: The server's certificate is not trusted (thumbprint " + print +
           ", CN=PLC); BadCertificateUntrusted",
       "Potrdilo strežnika ni zaupanja vredno (prstni odtis " + print +
           "); povezava je zavrnjena (BadCertificateUntrusted)."},
      {"opc.tcp://p:4840: The server refused the user name or password (BadUserAccessDenied)",
       "Strežnik je zavrnil uporabniško ime ali geslo (BadUserAccessDenied)."},
      {"opc.tcp://p:4840: A message from the server failed its signature check (altered on the "
       "way?); the connection is closed",
       "Sporočilo strežnika ni prestalo preverjanja podpisa; povezava je prekinjena "
       "(BadSecurityChecksFailed)."},
      {"opc.tcp://p:4840: The server offers only the deprecated security policy Basic256, which "
       "the program refuses; BadSecurityPolicyRejected",
       "Varnostna politika je zastarela in je program ne uporablja (BadSecurityPolicyRejected)."},
  };
  for (const auto& [english, slovenian] : cases) EXPECT_EQ(OpcWindowText(english), slovenian);
  EXPECT_EQ(OpcWindowText("x: WARNING: the server presents another certificate (thumbprint " + print +
                          ") than the one trusted for urn:p. ...; BadCertificateUntrusted")
                .rfind("OPOZORILO: strežnik se predstavlja z drugim potrdilom (prstni odtis " + print, 0),
            0u);
}
