#include "opc/OpcMessages.h"

#include <regex>

#include "data/SafeText.h"

namespace {

// The first status name in a text ("BadTimeout", "Bad 0xBB000000" for a code without a
// name), or "".
std::string StatusName(const std::string& text) {
  static const std::regex status(R"(\b(Bad|Uncertain)([A-Z][A-Za-z]*| 0x[0-9A-F]{8}))");
  std::smatch m;
  return std::regex_search(text, m, status) ? m.str(0) : std::string();
}

// A number of the English text ("9.5") as the Slovenian sentence writes it ("9,5").
std::string Comma(std::string number) {
  for (char& c : number)
    if (c == '.') c = ',';
  return number;
}

std::string WithStatus(std::string sentence, const std::string& status) {
  return status.empty() ? sentence + "." : sentence + " (" + status + ").";
}

// What the operating system said of a failed connect, in Slovenian.
std::string SocketReason(const std::string& text) {
  static const std::pair<const char*, const char*> Reasons[] = {
      {"Connection refused", "na naslovu ne posluša noben strežnik"},
      {"no answer in time", "računalnik ni odgovoril"},
      {"No route to host", "do računalnika ni poti"},
      {"Network is unreachable", "omrežje ni dosegljivo"},
      {"Connection timed out", "računalnik ni odgovoril"},
      {"Host is unreachable", "računalnik ni dosegljiv"},
  };
  for (const auto& [english, slovenian] : Reasons)
    if (text.find(english) != std::string::npos) return slovenian;
  return {};
}

// Why a write was refused, after "Točke … ni bilo mogoče zapisati": the reason in
// parentheses, Slovenian as the write gate gives it or made so; "" when only a status
// name tells (WithStatus keeps it).
std::string WriteReason(const std::string& rest) {
  static const std::regex inParentheses(R"(^\s*\((.*)\)\s*$)");
  std::smatch m;
  const std::string reason = std::regex_search(rest, m, inParentheses) ? m.str(1) : rest;
  if (reason.find("may have reached") != std::string::npos)
    return ": odgovor se je izgubil, vrednost je morda zapisana";
  if (reason.find("finite") != std::string::npos) return ": vrednost ni končno število";
  if (reason.find("not a node of this server") != std::string::npos)
    return ": strežnik take točke nima";
  if (reason.find("does not fit") != std::string::npos ||
      reason.find("requires") != std::string::npos)
    return ": vrednost ne ustreza tipu točke";
  // The write gate's reasons (PlantWriteProblem) are the window's already.
  static const std::regex gate(
      R"(^(ni povezana|ne obstaja|nima dobre|je samo za branje|je tipa|ne more|ne hrani|zavrnjeno))");
  if (std::regex_search(reason, gate)) return ": točka " + reason;
  return {};
}

}  // namespace

std::string OpcWindowText(const std::string& english) {
  const std::string text = VisibleText(english);
  const std::string status = StatusName(text);
  std::smatch m;
  // Texts of the connection and its items, most specific first.
  static const std::regex server(R"(Server \"(.*)\" not found)");
  static const std::regex computer(R"(Computer \"([^\"]*)\" (cannot be reached|not found))");
  static const std::regex connect(R"(Cannot connect to (\S+): (.*))");
  static const std::regex write(R"(Cannot write Items: (\S+)(.*))");
  if (std::regex_search(text, m, write))
    return WithStatus("Točke " + m.str(1) + " ni bilo mogoče zapisati" + WriteReason(m.str(2)),
                      status);
  static const std::regex number(R"('(.*)' is not a valid (floating point|integer) value)");
  if (std::regex_search(text, m, number))
    return "»" + m.str(1) + "« ni veljavno " + (m.str(2) == "integer" ? "celo " : "") + "število.";
  if (std::regex_search(text, m, server)) return "Strežnik »" + m.str(1) + "« ne obstaja.";
  if (std::regex_search(text, m, computer)) return "Računalnik »" + m.str(1) + "« ni dosegljiv.";
  if (std::regex_search(text, m, connect)) {
    const std::string reason = SocketReason(m.str(2));
    return "S strežnikom na " + m.str(1) + " se ni mogoče povezati" +
           (reason.empty() ? std::string(".") : ": " + reason + ".");
  }
  // A time-out, with the bound that ran out.
  static const std::regex requestTimeout(
      R"(did not .* in time \(a request's time-out of ([0-9.]+) s)");
  static const std::regex operationTimeout(
      R"(did not .* in time \(the (\w+)'s bound of ([0-9.]+) s ran out; (the server had been answering for ([0-9.]+) s)?)");
  if (std::regex_search(text, m, requestTimeout))
    return WithStatus("Strežnik ni odgovoril na zahtevo v " + Comma(m.str(1)) + " s", "BadTimeout");
  if (std::regex_search(text, m, operationTimeout)) {
    static const std::pair<const char*, const char*> Operations[] = {
        {"connect", "Povezovanje s strežnikom"},
        {"browse", "Brskanje po strežniku"},
        {"command", "Ukaz"},
        {"close", "Zapiranje seje"}};
    std::string what = "Opravilo";
    for (const auto& [english, slovenian] : Operations)
      if (m.str(1) == english) what = slovenian;
    return WithStatus(what + " ni končalo v " + Comma(m.str(2)) + " s; strežnik " +
                          (m[3].matched ? "je odgovarjal " + Comma(m.str(4)) + " s"
                                        : std::string("ni odgovoril")),
                      "BadTimeout");
  }
  // The server's certificate, with its thumbprint.
  static const std::regex thumbprint(R"(thumbprint ([0-9A-F:]{59}))");
  if (text.find("BadCertificateUntrusted") != std::string::npos) {
    const std::string print = std::regex_search(text, m, thumbprint) ? m.str(1) : std::string("?");
    if (text.find("WARNING") != std::string::npos)
      return "OPOZORILO: strežnik se predstavlja z drugim potrdilom (prstni odtis " + print +
             "), kot mu zaupate; morda je med programom in strežnikom nekdo drug. Če je bilo "
             "potrdilo strežnika res zamenjano, odstranite staro potrdilo iz mape trusted in se "
             "povežite znova (BadCertificateUntrusted).";
    return "Potrdilo strežnika ni zaupanja vredno (prstni odtis " + print +
           "); povezava je zavrnjena (BadCertificateUntrusted).";
  }
  struct Known {
    const char* English;
    const char* Slovenian;
    const char* Status;  // the status the sentence stands for, when the text names none
  };
  static const Known Texts[] = {
      // Security of the connection and the login (before the texts they contain).
      {"failed its signature check",
       "Sporočilo strežnika ni prestalo preverjanja podpisa; povezava je prekinjena",
       "BadSecurityChecksFailed"},
      {"cannot be decrypted", "Sporočila strežnika ni mogoče dešifrirati; povezava je prekinjena",
       "BadSecurityChecksFailed"},
      {"session signature is wrong", "Podpis strežnika ni pravilen; povezava je prekinjena", ""},
      {"login was cancelled", "Prijava je bila preklicana", ""},
      {"refused the user name or password", "Strežnik je zavrnil uporabniško ime ali geslo", ""},
      {"refused this kind of login", "Strežnik ne dovoli takšne prijave", ""},
      {"allows no anonymous login", "Strežnik ne dovoli prijave brez uporabniškega imena", ""},
      {"allows no login with user name",
       "Strežnik ne dovoli prijave z uporabniškim imenom in geslom", ""},
      {"password in clear text",
       "Strežnik zahteva nešifrirano geslo po nešifrirani povezavi; program ga ne pošlje", ""},
      {"deprecated", "Varnostna politika je zastarela in je program ne uporablja",
       "BadSecurityPolicyRejected"},
      {"offers no endpoint with", "Strežnik ne ponuja izbrane varnosti",
       "BadSecurityPolicyRejected"},
      {"Unknown security policy", "Neznana varnostna politika", "BadSecurityPolicyRejected"},
      {"certificate expired", "Potrdilo strežnika je poteklo", ""},
      {"certificate is not valid yet", "Potrdilo strežnika še ni veljavno", ""},
      {"certificate names the application",
       "Potrdilo strežnika navaja drugo aplikacijo, kot jo strežnik navaja zase", ""},
      {"not signed by its own key", "Potrdilo strežnika ni veljavno", ""},
      {"authority that is not trusted",
       "Potrdilo strežnika je izdal overitelj, ki mu program ne zaupa", ""},
      {"security checks failed",
       "Varnostno preverjanje ni uspelo (ali je potrdilo programa na seznamu zaupanja strežnika?)",
       ""},
      {"cannot be kept in", "Potrdila programa ni mogoče shraniti", ""},
      {"did not answer in time", "Strežnik ni odgovoril pravočasno", "BadTimeout"},
      {"closed the connection", "Strežnik je prekinil povezavo", ""},
      {"ended by this program", "Povezavo s strežnikom je končal program (»Prekini« ali izhod)",
       ""},
      {"connection to the server was lost", "Povezava s strežnikom je izgubljena", ""},
      {"connection is closed", "Povezava s strežnikom ni vzpostavljena", "BadNotConnected"},
      {"connection to the server is closed", "Povezava s strežnikom ni vzpostavljena",
       "BadNotConnected"},
      {"refused the connection", "Strežnik je zavrnil povezavo", ""},
      {"ended the connection", "Strežnik je končal povezavo", ""},
      {"may have reached the server", "Odgovor strežnika se je izgubil; zapis je morda uspel", ""},
      {"would take more memory", "Odgovor strežnika je prevelik za svojo dolžino in je zavrnjen",
       ""},
      {"of another request", "Strežnik je odgovoril z oznako druge zahteve; povezava je prekinjena",
       ""},
      {"requests that were never made",
       "Strežnik pošilja odgovore na zahteve, ki jih program ni poslal; povezava je prekinjena",
       ""},
      {"malformed", "Strežnik je poslal pokvarjen odgovor; povezava je prekinjena",
       "BadDecodingError"},
      {"not OPC UA", "Na naslovu ni strežnika OPC UA", ""},
      {"unknown chunk type", "Strežnik je poslal pokvarjen odgovor; povezava je prekinjena",
       "BadDecodingError"},
      {"answered with an unexpected message", "Strežnik je odgovoril z nepričakovanim sporočilom",
       ""},
      {"aborted its answer", "Strežnik je prekinil svoj odgovor", ""},
      {"not a valid node id", "Oznaka točke ni veljavna oznaka vozlišča OPC UA",
       "BadNodeIdInvalid"},
      {"MV is not a finite number", "MV ni končno število; v obrat ni bilo nič zapisano", ""},
      {"has no namespace", "Strežnik nima imenskega prostora, ki ga navaja oznaka točke",
       "BadNodeIdUnknown"},
  };
  for (const Known& k : Texts)
    if (text.find(k.English) != std::string::npos)
      return WithStatus(k.Slovenian, status.empty() ? k.Status : status);
  return WithStatus("Napaka povezave s strežnikom OPC", status);
}
