#include "report/ReportTemplate.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <filesystem>
#include <stdexcept>

namespace {

const char* const NsW = "http://schemas.openxmlformats.org/wordprocessingml/2006/main";
const char* const NsR = "http://schemas.openxmlformats.org/officeDocument/2006/relationships";
const char* const NsWp = "http://schemas.openxmlformats.org/drawingml/2006/wordprocessingDrawing";
const char* const NsA = "http://schemas.openxmlformats.org/drawingml/2006/main";
const char* const NsPic = "http://schemas.openxmlformats.org/drawingml/2006/picture";
const char* const RelOfficeDocument =
    "http://schemas.openxmlformats.org/officeDocument/2006/relationships/officeDocument";
const char* const DocumentMainType =
    "application/vnd.openxmlformats-officedocument.wordprocessingml.document.main+xml";
const char* const TemplateMainType =
    "application/vnd.openxmlformats-officedocument.wordprocessingml.template.main+xml";

const char* const BuiltInStyles =
    R"(<?xml version="1.0" encoding="UTF-8" standalone="yes"?>)"
    "\n"
    R"(<w:styles xmlns:w="http://schemas.openxmlformats.org/wordprocessingml/2006/main">)"
    R"(<w:docDefaults><w:rPrDefault><w:rPr>)"
    R"(<w:rFonts w:ascii="Arial" w:hAnsi="Arial" w:eastAsia="Arial" w:cs="Arial"/>)"
    R"(<w:sz w:val="24"/><w:szCs w:val="24"/><w:lang w:val="sl-SI" w:eastAsia="en-US" w:bidi="ar-SA"/>)"
    R"(</w:rPr></w:rPrDefault><w:pPrDefault><w:pPr><w:spacing w:after="0" w:line="240" w:lineRule="auto"/>)"
    R"(</w:pPr></w:pPrDefault></w:docDefaults>)"
    R"(<w:style w:type="paragraph" w:default="1" w:styleId="Normal"><w:name w:val="Normal"/><w:qFormat/></w:style>)"
    R"(<w:style w:type="character" w:default="1" w:styleId="DefaultParagraphFont"><w:name w:val="Default Paragraph Font"/><w:uiPriority w:val="1"/><w:semiHidden/></w:style>)"
    R"(<w:style w:type="table" w:default="1" w:styleId="TableNormal"><w:name w:val="Normal Table"/><w:semiHidden/>)"
    R"(<w:tblPr><w:tblInd w:w="0" w:type="dxa"/><w:tblCellMar><w:top w:w="0" w:type="dxa"/><w:left w:w="108" w:type="dxa"/>)"
    R"(<w:bottom w:w="0" w:type="dxa"/><w:right w:w="108" w:type="dxa"/></w:tblCellMar></w:tblPr></w:style>)"
    R"(</w:styles>)";

const char* const BuiltInSettings =
    R"(<?xml version="1.0" encoding="UTF-8" standalone="yes"?>)"
    "\n"
    R"(<w:settings xmlns:w="http://schemas.openxmlformats.org/wordprocessingml/2006/main">)"
    R"(<w:defaultTabStop w:val="708"/><w:characterSpacingControl w:val="doNotCompress"/>)"
    R"(<w:compat><w:compatSetting w:name="compatibilityMode" w:uri="http://schemas.microsoft.com/office/word" w:val="15"/></w:compat>)"
    R"(</w:settings>)";

const char* const BuiltInCore =
    R"(<?xml version="1.0" encoding="UTF-8" standalone="yes"?>)"
    "\n"
    R"(<cp:coreProperties xmlns:cp="http://schemas.openxmlformats.org/package/2006/metadata/core-properties" )"
    R"(xmlns:dc="http://purl.org/dc/elements/1.1/" xmlns:dcterms="http://purl.org/dc/terms/" )"
    R"(xmlns:xsi="http://www.w3.org/2001/XMLSchema-instance">)"
    R"(<dc:title>Poročilo o eksperimentu</dc:title><dc:creator>Vor Tuner</dc:creator></cp:coreProperties>)";

const char* const BuiltInApp =
    R"(<?xml version="1.0" encoding="UTF-8" standalone="yes"?>)"
    "\n"
    R"(<Properties xmlns="http://schemas.openxmlformats.org/officeDocument/2006/extended-properties">)"
    R"(<Application>Vor Tuner</Application></Properties>)";

std::string Lower(std::string s) {
  std::transform(s.begin(), s.end(), s.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return s;
}

// The value of attribute `name` in the text of one start tag ("" when it has none).
std::string AttributeOf(const std::string& tag, const std::string& name) {
  for (size_t at = tag.find(name + "="); at != std::string::npos;
       at = tag.find(name + "=", at + 1)) {
    if (at > 0 && !std::isspace(static_cast<unsigned char>(tag[at - 1]))) continue;
    const size_t quote = at + name.size() + 1;
    if (quote >= tag.size() || (tag[quote] != '"' && tag[quote] != '\'')) continue;
    const size_t end = tag.find(tag[quote], quote + 1);
    if (end == std::string::npos) return "";
    return tag.substr(quote + 1, end - quote - 1);
  }
  return "";
}

// The first start tag of element `name` (e.g. "w:pgSz") in xml from `from`, or "".
std::string StartTag(const std::string& xml, const std::string& name, size_t from = 0) {
  for (size_t at = xml.find("<" + name, from); at != std::string::npos;
       at = xml.find("<" + name, at + 1)) {
    const char next = at + 1 + name.size() < xml.size() ? xml[at + 1 + name.size()] : '>';
    if (next != ' ' && next != '>' && next != '/' && next != '\t' && next != '\r' && next != '\n')
      continue;
    const size_t end = xml.find('>', at);
    if (end == std::string::npos) return "";
    return xml.substr(at, end - at + 1);
  }
  return "";
}

// The first start tag of element `name` in xml whose attribute has the value, or "".
std::string StartTagWhere(const std::string& xml, const std::string& name,
                          const std::string& attribute, const std::string& value) {
  for (size_t at = xml.find("<" + name); at != std::string::npos;
       at = xml.find("<" + name, at + 1)) {
    const std::string tag = StartTag(xml, name, at);
    if (!tag.empty() && AttributeOf(tag, attribute) == value) return tag;
  }
  return "";
}

double TwipsToPoints(const std::string& value, double fallback) {
  if (value.empty()) return fallback;
  try {
    return std::stod(value) / 20.0;
  } catch (const std::exception&) {
    return fallback;
  }
}

PageSetup PageOf(const std::string& sectPr) {
  PageSetup page;
  const std::string size = StartTag(sectPr, "w:pgSz");
  page.Width = TwipsToPoints(AttributeOf(size, "w:w"), page.Width);
  page.Height = TwipsToPoints(AttributeOf(size, "w:h"), page.Height);
  const std::string margins = StartTag(sectPr, "w:pgMar");
  page.Left = TwipsToPoints(AttributeOf(margins, "w:left"), page.Left);
  page.Right = TwipsToPoints(AttributeOf(margins, "w:right"), page.Right);
  page.Top = std::abs(TwipsToPoints(AttributeOf(margins, "w:top"), page.Top));
  page.Bottom = std::abs(TwipsToPoints(AttributeOf(margins, "w:bottom"), page.Bottom));
  page.Header = TwipsToPoints(AttributeOf(margins, "w:header"), page.Header);
  page.Footer = TwipsToPoints(AttributeOf(margins, "w:footer"), page.Footer);
  if (page.TextWidth() < 72 || page.TextHeight() < 72) page = PageSetup{};
  return page;
}

std::string RelationshipsOf(const std::string& part) {
  const size_t slash = part.find_last_of('/');
  const std::string folder = slash == std::string::npos ? "" : part.substr(0, slash + 1);
  const std::string name = slash == std::string::npos ? part : part.substr(slash + 1);
  return folder + "_rels/" + name + ".rels";
}

// The body is not taken over, so neither are the pictures only its text showed: the main
// part's image relationships go, and so do their media parts unless another part (a
// header's picture) refers to them. An earlier report used as the template then lends its
// look, not its charts, and its picture names cannot clash with the new report's.
void DropBodyPictures(std::string& relations, const std::string& mainPart,
                      std::vector<ZipPart>& parts) {
  const size_t slash = mainPart.find_last_of('/');
  const std::string folder = slash == std::string::npos ? "" : mainPart.substr(0, slash + 1);
  std::vector<std::string> dropped;
  for (size_t at = relations.find("<Relationship"); at != std::string::npos;) {
    const std::string tag = StartTag(relations, "Relationship", at);
    const bool image = tag.size() > 0 && AttributeOf(tag, "Type").ends_with("/relationships/image");
    if (!image || AttributeOf(tag, "TargetMode") == "External") {
      at = relations.find("<Relationship", at + 1);
      continue;
    }
    std::string target = AttributeOf(tag, "Target");
    dropped.push_back(!target.empty() && target.front() == '/' ? target.substr(1)
                                                               : folder + target);
    relations.erase(at, tag.size());
    at = relations.find("<Relationship", at);
  }
  const std::string mainRels = RelationshipsOf(mainPart);
  std::erase_if(parts, [&](const ZipPart& part) {
    if (std::find(dropped.begin(), dropped.end(), part.Name) == dropped.end()) return false;
    const size_t cut = part.Name.find_last_of('/');
    const std::string file = cut == std::string::npos ? part.Name : part.Name.substr(cut + 1);
    for (const ZipPart& other : parts)
      if (other.Name != mainRels && other.Name.ends_with(".rels") &&
          other.Bytes.find(file) != std::string::npos)
        return false;  // still shown elsewhere (a header's logo)
    return true;
  });
}

// Adds the namespaces the report's body uses to a root start tag that lacks them.
std::string WithNamespaces(std::string tag) {
  const std::pair<const char*, const char*> needed[] = {{"xmlns:w", NsW},
                                                        {"xmlns:r", NsR},
                                                        {"xmlns:wp", NsWp},
                                                        {"xmlns:a", NsA},
                                                        {"xmlns:pic", NsPic}};
  for (const auto& [prefix, uri] : needed) {
    if (!AttributeOf(tag, prefix).empty()) continue;
    const size_t close = tag.size() - 1;  // the '>'
    tag.insert(close, std::string(" ") + prefix + "=\"" + uri + "\"");
  }
  return tag;
}

std::string DecodedText(const std::string& text) {
  static const std::pair<const char*, char> entities[] = {
      {"&amp;", '&'}, {"&lt;", '<'}, {"&gt;", '>'}, {"&quot;", '"'}, {"&apos;", '\''}};
  std::string out;
  for (size_t i = 0; i < text.size(); ++i) {
    bool decoded = false;
    if (text[i] == '&')
      for (const auto& [entity, c] : entities)
        if (text.compare(i, std::strlen(entity), entity) == 0) {
          out += c;
          i += std::strlen(entity) - 1;
          decoded = true;
          break;
        }
    if (!decoded) out += text[i];
  }
  return out;
}

// The page field a field instruction asks for ('\0' for any other field).
char PageFieldOf(const std::string& instruction) {
  std::string word;
  for (char c : instruction) {
    if (std::isspace(static_cast<unsigned char>(c))) {
      if (!word.empty()) break;
      continue;
    }
    word += static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  }
  return word == "PAGE" ? PageNumberField : word == "NUMPAGES" ? PageCountField : '\0';
}

// The text of a header or footer part, a line a paragraph (also the paragraphs of its
// tables). Simple and complex page fields become their field characters; every other
// field keeps the result the template was saved with.
std::vector<std::string> ParagraphLines(const std::string& xml) {
  std::vector<std::string> lines;
  std::string line, instruction;
  enum class Field { None, Instruction, Result, PageResult } field = Field::None;
  bool inSimplePageField = false;
  for (size_t at = xml.find('<'); at != std::string::npos; at = xml.find('<', at + 1)) {
    const size_t end = xml.find('>', at);
    if (end == std::string::npos) break;
    const std::string tag = xml.substr(at, end - at + 1);
    size_t nameEnd = 1;
    while (nameEnd < tag.size() && !std::isspace(static_cast<unsigned char>(tag[nameEnd])) &&
           tag[nameEnd] != '>' && tag[nameEnd] != '/')
      ++nameEnd;
    if (tag[1] == '/') nameEnd = tag.size() - 1;
    const std::string name = tag.substr(1, nameEnd - 1);
    const bool selfClosing = tag.size() >= 2 && tag[tag.size() - 2] == '/';
    if (name == "w:p") {
      line.clear();
      if (selfClosing) lines.emplace_back();
    } else if (name == "/w:p") {
      lines.push_back(line);
    } else if ((name == "w:t" || name == "w:instrText") && !selfClosing) {
      const size_t close = xml.find("</" + name + ">", end);
      if (close == std::string::npos) break;
      const std::string text = DecodedText(xml.substr(end + 1, close - end - 1));
      if (name == "w:instrText")
        instruction += text;
      else if (!inSimplePageField && field != Field::Instruction && field != Field::PageResult)
        line += text;
      at = close;
    } else if (name == "w:tab") {
      line += '\t';
    } else if (name == "w:fldSimple") {
      const char page = PageFieldOf(AttributeOf(tag, "w:instr"));
      if (page != '\0') {
        line += page;
        inSimplePageField = !selfClosing;
      }
    } else if (name == "/w:fldSimple") {
      inSimplePageField = false;
    } else if (name == "w:fldChar") {
      const std::string type = AttributeOf(tag, "w:fldCharType");
      if (type == "begin") {
        field = Field::Instruction;
        instruction.clear();
      } else if (type == "separate" || (type == "end" && field == Field::Instruction)) {
        const char page = PageFieldOf(instruction);
        if (page != '\0') line += page;
        field = page != '\0' ? Field::PageResult : Field::Result;
      }
      if (type == "end") field = Field::None;
    }
  }
  // Trailing empty paragraphs only push the text away from the page's edge.
  while (!lines.empty() && lines.back().find_first_not_of(" \t") == std::string::npos)
    lines.pop_back();
  return lines;
}

// The text of the section's default header or footer ("w:headerReference" or
// "w:footerReference"), found through the main part's relationships.
std::vector<std::string> ReferencedLines(const std::string& sectPr, const char* reference,
                                         const std::string& relations, const std::string& mainPart,
                                         const std::vector<ZipPart>& parts) {
  const std::string id = AttributeOf(StartTagWhere(sectPr, reference, "w:type", "default"), "r:id");
  if (id.empty()) return {};
  std::string target = AttributeOf(StartTagWhere(relations, "Relationship", "Id", id), "Target");
  if (target.empty()) return {};
  if (target.front() == '/')
    target.erase(0, 1);
  else
    target = mainPart.substr(0, mainPart.find_last_of('/') + 1) + target;
  for (const ZipPart& p : parts)
    if (p.Name == target) return ParagraphLines(p.Bytes);
  return {};
}

[[noreturn]] void Unreadable(const std::string& name) {
  throw std::runtime_error("Predloga \"" + name +
                           "\" ni dokument, ki ga program zna uporabiti (.dotx ali .docx).");
}

}  // namespace

bool IsBuiltInTemplate(const std::string& name) {
  return name.empty() || Lower(name) == "normal.dot";
}

ReportTemplate BuiltInTemplate() {
  ReportTemplate t;
  t.ContentTypes =
      R"(<?xml version="1.0" encoding="UTF-8" standalone="yes"?>)"
      "\n"
      R"(<Types xmlns="http://schemas.openxmlformats.org/package/2006/content-types">)"
      R"(<Default Extension="rels" ContentType="application/vnd.openxmlformats-package.relationships+xml"/>)"
      R"(<Default Extension="xml" ContentType="application/xml"/>)"
      R"(<Default Extension="png" ContentType="image/png"/>)"
      R"(<Override PartName="/word/document.xml" ContentType=")" +
      std::string(DocumentMainType) +
      R"("/>)"
      R"(<Override PartName="/word/styles.xml" ContentType="application/vnd.openxmlformats-officedocument.wordprocessingml.styles+xml"/>)"
      R"(<Override PartName="/word/settings.xml" ContentType="application/vnd.openxmlformats-officedocument.wordprocessingml.settings+xml"/>)"
      R"(<Override PartName="/docProps/core.xml" ContentType="application/vnd.openxmlformats-package.core-properties+xml"/>)"
      R"(<Override PartName="/docProps/app.xml" ContentType="application/vnd.openxmlformats-officedocument.extended-properties+xml"/>)"
      R"(</Types>)";
  t.Parts.push_back(
      {"_rels/.rels",
       R"(<?xml version="1.0" encoding="UTF-8" standalone="yes"?>)"
       "\n"
       R"(<Relationships xmlns="http://schemas.openxmlformats.org/package/2006/relationships">)"
       R"(<Relationship Id="rId1" Type="http://schemas.openxmlformats.org/officeDocument/2006/relationships/officeDocument" Target="word/document.xml"/>)"
       R"(<Relationship Id="rId2" Type="http://schemas.openxmlformats.org/package/2006/relationships/metadata/core-properties" Target="docProps/core.xml"/>)"
       R"(<Relationship Id="rId3" Type="http://schemas.openxmlformats.org/officeDocument/2006/relationships/extended-properties" Target="docProps/app.xml"/>)"
       R"(</Relationships>)"});
  t.Parts.push_back({"word/styles.xml", BuiltInStyles});
  t.Parts.push_back({"word/settings.xml", BuiltInSettings});
  t.Parts.push_back({"docProps/core.xml", BuiltInCore});
  t.Parts.push_back({"docProps/app.xml", BuiltInApp});
  t.MainRelations =
      R"(<?xml version="1.0" encoding="UTF-8" standalone="yes"?>)"
      "\n"
      R"(<Relationships xmlns="http://schemas.openxmlformats.org/package/2006/relationships">)"
      R"(<Relationship Id="rId1" Type="http://schemas.openxmlformats.org/officeDocument/2006/relationships/styles" Target="styles.xml"/>)"
      R"(<Relationship Id="rId2" Type="http://schemas.openxmlformats.org/officeDocument/2006/relationships/settings" Target="settings.xml"/>)"
      R"(</Relationships>)";
  t.RootStartTag = WithNamespaces("<w:document>");
  t.SectionProperties =
      R"(<w:sectPr><w:pgSz w:w="11906" w:h="16838"/>)"
      R"(<w:pgMar w:top="1418" w:right="1418" w:bottom="1418" w:left="1418" w:header="709" w:footer="709" w:gutter="0"/>)"
      R"(<w:cols w:space="708"/></w:sectPr>)";
  t.Page = PageOf(t.SectionProperties);
  return t;
}

ReportTemplate LoadReportTemplate(const std::string& name) {
  if (IsBuiltInTemplate(name)) return BuiltInTemplate();
  std::error_code ec;
  if (!std::filesystem::is_regular_file(name, ec))
    throw std::runtime_error("Predloga \"" + name + "\" ne obstaja.");
  std::vector<ZipPart> parts;
  try {
    parts = ReadZipParts(name);
  } catch (const std::runtime_error&) {
    Unreadable(name);
  }
  auto find = [&parts](const std::string& partName) -> const ZipPart* {
    for (const ZipPart& p : parts)
      if (p.Name == partName) return &p;
    return nullptr;
  };
  const ZipPart* packageRels = find("_rels/.rels");
  const ZipPart* types = find("[Content_Types].xml");
  if (!packageRels || !types) Unreadable(name);

  ReportTemplate t;
  // The main part: the target of the package's officeDocument relationship.
  t.MainPart = AttributeOf(
      StartTagWhere(packageRels->Bytes, "Relationship", "Type", RelOfficeDocument), "Target");
  if (!t.MainPart.empty() && t.MainPart.front() == '/') t.MainPart.erase(0, 1);
  const ZipPart* main = t.MainPart.empty() ? nullptr : find(t.MainPart);
  if (!main) Unreadable(name);
  const std::string& xml = main->Bytes;

  // Only a word-processing document or template (not one with macros).
  t.ContentTypes = types->Bytes;
  const std::string partName = "/" + t.MainPart;
  size_t override = std::string::npos;
  for (size_t at = t.ContentTypes.find("<Override"); at != std::string::npos;
       at = t.ContentTypes.find("<Override", at + 1)) {
    if (AttributeOf(StartTag(t.ContentTypes, "Override", at), "PartName") == partName) {
      override = at;
      break;
    }
  }
  if (override == std::string::npos) Unreadable(name);
  const std::string overrideTag = StartTag(t.ContentTypes, "Override", override);
  const std::string type = AttributeOf(overrideTag, "ContentType");
  if (type != DocumentMainType && type != TemplateMainType) Unreadable(name);
  if (type == TemplateMainType) {
    std::string tag = overrideTag;
    tag.replace(tag.find(TemplateMainType), std::string(TemplateMainType).size(), DocumentMainType);
    t.ContentTypes.replace(override, overrideTag.size(), tag);
  }
  const std::string pngDefault = R"(<Default Extension="png" ContentType="image/png"/>)";
  bool hasPng = false;
  for (size_t at = t.ContentTypes.find("<Default"); at != std::string::npos;
       at = t.ContentTypes.find("<Default", at + 1))
    if (Lower(AttributeOf(StartTag(t.ContentTypes, "Default", at), "Extension")) == "png")
      hasPng = true;
  const size_t typesEnd = t.ContentTypes.rfind("</Types>");
  if (typesEnd == std::string::npos) Unreadable(name);
  if (!hasPng) t.ContentTypes.insert(typesEnd, pngDefault);

  // The root element with its namespaces, and the body's final section properties.
  const size_t body = xml.find("<w:body");
  const size_t root = xml.rfind("<w:document", body);
  if (body == std::string::npos || root == std::string::npos) Unreadable(name);
  const std::string rootTag = StartTag(xml, "w:document", root);
  if (rootTag.empty()) Unreadable(name);  // "<w:documentX>", or a tag that never closes
  t.RootStartTag = WithNamespaces(rootTag);
  const size_t sect = xml.rfind("<w:sectPr");
  if (sect != std::string::npos && sect > body) {
    const std::string open = StartTag(xml, "w:sectPr", sect);
    if (!open.empty() && open[open.size() - 2] == '/') {
      t.SectionProperties = open;
    } else {
      const size_t end = xml.find("</w:sectPr>", sect);
      if (end == std::string::npos) Unreadable(name);
      t.SectionProperties = xml.substr(sect, end + 11 - sect);
    }
  } else {
    t.SectionProperties = BuiltInTemplate().SectionProperties;
  }
  t.Page = PageOf(t.SectionProperties);

  const std::string relsName = RelationshipsOf(t.MainPart);
  const ZipPart* rels = find(relsName);
  t.MainRelations =
      rels
          ? rels->Bytes
          : std::string(
                R"(<?xml version="1.0" encoding="UTF-8" standalone="yes"?>)"
                "\n"
                R"(<Relationships xmlns="http://schemas.openxmlformats.org/package/2006/relationships"></Relationships>)");
  DropBodyPictures(t.MainRelations, t.MainPart, parts);
  t.HeaderLines =
      ReferencedLines(t.SectionProperties, "w:headerReference", t.MainRelations, t.MainPart, parts);
  t.FooterLines =
      ReferencedLines(t.SectionProperties, "w:footerReference", t.MainRelations, t.MainPart, parts);
  for (ZipPart& p : parts)
    if (p.Name != t.MainPart && p.Name != relsName && p.Name != "[Content_Types].xml")
      t.Parts.push_back(std::move(p));
  return t;
}

std::string WithPageFields(const std::string& line, int page, int pages) {
  std::string out;
  for (char c : line) {
    if (c == PageNumberField)
      out += std::to_string(page);
    else if (c == PageCountField)
      out += std::to_string(pages);
    else
      out += c;
  }
  return out;
}
