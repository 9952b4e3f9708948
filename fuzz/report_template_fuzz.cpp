// Report templates: random bytes as the main part, its relationships and its header of a
// template package (the parts split at NUL bytes), or as the template file itself. A
// template that loads has a usable page, and its header and footer lines fill their page
// fields; one that does not is refused with a message.
#include <cmath>
#include <stdexcept>
#include <string>
#include <vector>

#include "FuzzSupport.h"
#include "report/ReportTemplate.h"
#include "report/ZipPackage.h"

namespace {

const char* const ContentTypes =
    R"(<?xml version="1.0" encoding="UTF-8"?><Types xmlns="http://schemas.openxmlformats.org/package/2006/content-types">)"
    R"(<Default Extension="xml" ContentType="application/xml"/>)"
    R"(<Override PartName="/word/document.xml" ContentType="application/vnd.openxmlformats-officedocument.wordprocessingml.template.main+xml"/></Types>)";
const char* const PackageRelations =
    R"(<?xml version="1.0" encoding="UTF-8"?><Relationships xmlns="http://schemas.openxmlformats.org/package/2006/relationships">)"
    R"(<Relationship Id="rId1" Type="http://schemas.openxmlformats.org/officeDocument/2006/relationships/officeDocument" Target="word/document.xml"/></Relationships>)";

void CheckLines(const std::vector<std::string>& lines) {
  for (const std::string& line : lines) {
    const std::string filled = WithPageFields(line, 12, 34);
    FUZZ_CHECK(filled.find(PageNumberField) == std::string::npos &&
                   filled.find(PageCountField) == std::string::npos,
               "a page field left in a filled line");
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string input(reinterpret_cast<const char*>(data), size);
  std::string path;
  if (fuzz::Option(size, 0)) {
    path = fuzz::WriteInput(data, size, ".dotx");
  } else {
    std::vector<std::string> pieces(3);
    size_t piece = 0;
    for (char c : input) {
      if (c == '\0' && piece < 2)
        ++piece;
      else
        pieces[piece] += c;
    }
    path = fuzz::ScratchPath(".dotx");
    const std::string zip = ZipBytes({{"[Content_Types].xml", ContentTypes},
                                      {"_rels/.rels", PackageRelations},
                                      {"word/document.xml", pieces[0]},
                                      {"word/_rels/document.xml.rels", pieces[1]},
                                      {"word/header1.xml", pieces[2]},
                                      {"word/footer1.xml", pieces[2]}});
    const uint8_t* bytes = reinterpret_cast<const uint8_t*>(zip.data());
    path = fuzz::WriteInput(bytes, zip.size(), ".dotx");
  }
  ReportTemplate t;
  try {
    t = LoadReportTemplate(path);
  } catch (const std::runtime_error& e) {
    FUZZ_CHECK(std::string(e.what()).find(path) != std::string::npos,
               "a refusal not naming the file");
    return 0;
  }
  const PageSetup& page = t.Page;
  FUZZ_CHECK(std::isfinite(page.Width) && std::isfinite(page.Height) && page.TextWidth() >= 72 &&
                 page.TextHeight() >= 72,
             "a template page without room for text");
  CheckLines(t.HeaderLines);
  CheckLines(t.FooterLines);
  return 0;
}
