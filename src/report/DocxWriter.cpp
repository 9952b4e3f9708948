#include "report/DocxWriter.h"

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

#include "data/TextFile.h"
#include "report/ZipPackage.h"

namespace {

constexpr double EmuPerPoint = 12700;
constexpr double CellMarginPt = 5.4;  // 108 twips on each side

std::string Twips(double points) { return std::to_string(std::lround(points * 20)); }

// Valid UTF-8 (a Windows-1250 text is converted), XML-escaped, without the control
// characters XML does not allow.
std::string XmlText(const std::string& raw) {
  const std::string text = IsValidUtf8(raw) ? raw : Utf8FromWindows1250(raw);
  std::string out;
  out.reserve(text.size());
  for (char c : text) {
    switch (c) {
      case '&':
        out += "&amp;";
        break;
      case '<':
        out += "&lt;";
        break;
      case '>':
        out += "&gt;";
        break;
      case '"':
        out += "&quot;";
        break;
      default:
        if (static_cast<unsigned char>(c) >= 0x20 || c == '\t') out += c;
    }
  }
  return out;
}

std::string RunProperties(const CharFormat& f) {
  std::string s = "<w:rPr>";
  if (f.Bold) s += "<w:b/><w:bCs/>";
  if (f.Italic) s += "<w:i/><w:iCs/>";
  const std::string half = std::to_string(std::lround(f.Size * 2));
  s += "<w:sz w:val=\"" + half + "\"/><w:szCs w:val=\"" + half + "\"/></w:rPr>";
  return s;
}

const char* JcValue(Alignment a) {
  switch (a) {
    case Alignment::Center:
      return "center";
    case Alignment::Right:
      return "right";
    default:
      return "left";
  }
}

// Estimated width of a text in points (a sans-serif face averages about half an em).
double TextWidth(const TextRun& run) {
  double longest = 0, line = 0;
  for (size_t i = 0; i < run.Text.size(); ++i) {
    const unsigned char c = static_cast<unsigned char>(run.Text[i]);
    if (c == '\n') {
      line = 0;
      continue;
    }
    if ((c & 0xC0) == 0x80) continue;  // a UTF-8 continuation byte
    line += run.Format.Size * (run.Format.Bold ? 0.6 : 0.55);
    longest = std::max(longest, line);
  }
  return longest;
}

class BodyWriter {
 public:
  // `taken`: the template's parts and relationships, whose names a picture must not take.
  BodyWriter(const PageSetup& page, std::vector<ZipPart>& media, std::string& relations,
             const std::string& mediaFolder, const ReportTemplate& taken)
      : page_(page),
        media_(media),
        relations_(relations),
        mediaFolder_(mediaFolder),
        taken_(taken) {}

  void Write(const Paragraph& p, std::string& out) {
    out += "<w:p><w:pPr>";
    if (p.Align != Alignment::Left)
      out += std::string("<w:jc w:val=\"") + JcValue(p.Align) + "\"/>";
    out += RunProperties(p.Mark) + "</w:pPr>";
    for (const Inline& item : p.Items) {
      if (const auto* run = std::get_if<TextRun>(&item)) {
        out += "<w:r>" + RunProperties(run->Format);
        size_t start = 0;
        while (true) {
          const size_t nl = run->Text.find('\n', start);
          out += "<w:t xml:space=\"preserve\">" +
                 XmlText(run->Text.substr(start, nl == std::string::npos ? nl : nl - start)) +
                 "</w:t>";
          if (nl == std::string::npos) break;
          out += "<w:br/>";
          start = nl + 1;
        }
        out += "</w:r>";
      } else if (std::holds_alternative<PageBreak>(item)) {
        out += "<w:r><w:br w:type=\"page\"/></w:r>";
      } else {
        WritePicture(std::get<Picture>(item), out);
      }
    }
    out += "</w:p>";
  }

  void Write(const Table& t, std::string& out) {
    const std::vector<double> widths = TableColumnWidths(t, page_.TextWidth());
    const std::string border = "w:val=\"single\" w:sz=\"4\" w:space=\"0\" w:color=\"000000\"";
    double total = 0;
    for (double w : widths) total += w;
    // Fixed column widths fitted to the content, so every reader lays the table out alike.
    out += "<w:tbl><w:tblPr><w:tblW w:w=\"" + Twips(total) + "\" w:type=\"dxa\"/>";
    if (t.RowsAlign != Alignment::Left)
      out += std::string("<w:jc w:val=\"") + JcValue(t.RowsAlign) + "\"/>";
    out += "<w:tblBorders>";
    for (const char* side : {"top", "left", "bottom", "right", "insideH", "insideV"})
      out += std::string("<w:") + side + " " + border + "/>";
    out +=
        "</w:tblBorders><w:tblLayout w:type=\"fixed\"/><w:tblCellMar>"
        "<w:left w:w=\"108\" w:type=\"dxa\"/><w:right w:w=\"108\" w:type=\"dxa\"/>"
        "</w:tblCellMar><w:tblLook w:val=\"0000\" w:firstRow=\"0\" w:lastRow=\"0\" "
        "w:firstColumn=\"0\" w:lastColumn=\"0\" w:noHBand=\"0\" w:noVBand=\"0\"/></w:tblPr>"
        "<w:tblGrid>";
    for (double w : widths) out += "<w:gridCol w:w=\"" + Twips(w) + "\"/>";
    out += "</w:tblGrid>";
    for (int r = 1; r <= t.Rows; ++r) {
      out += "<w:tr>";
      for (int c = 1; c <= t.Columns; ++c) {
        out += "<w:tc><w:tcPr><w:tcW w:w=\"" + Twips(widths[static_cast<size_t>(c - 1)]) +
               "\" w:type=\"dxa\"/></w:tcPr>";
        Write(t.Cell(r, c).Content, out);
        out += "</w:tc>";
      }
      out += "</w:tr>";
    }
    out += "</w:tbl>";
  }

 private:
  bool Taken(const std::string& id, const std::string& part) const {
    if (taken_.MainRelations.find("\"" + id + "\"") != std::string::npos) return true;
    for (const ZipPart& p : taken_.Parts)
      if (p.Name == part) return true;
    return false;
  }

  void WritePicture(const Picture& picture, std::string& out) {
    int n = ++pictures_;
    while (Taken("rIdVtImg" + std::to_string(n),
                 mediaFolder_ + "media/vtreport_image" + std::to_string(n) + ".png"))
      n = ++pictures_;
    const std::string id = "rIdVtImg" + std::to_string(n);
    const std::string file = "vtreport_image" + std::to_string(n) + ".png";
    media_.push_back({mediaFolder_ + "media/" + file, picture.Png});
    relations_ += "<Relationship Id=\"" + id +
                  "\" Type=\"http://schemas.openxmlformats.org/officeDocument/2006/"
                  "relationships/image\" Target=\"media/" +
                  file + "\"/>";
    const PictureSize size = FittedPictureSize(picture, page_);
    const std::string cx = std::to_string(std::llround(size.Width * EmuPerPoint));
    const std::string cy = std::to_string(std::llround(size.Height * EmuPerPoint));
    const std::string docId = std::to_string(1000 + n);
    out +=
        "<w:r><w:drawing><wp:inline distT=\"0\" distB=\"0\" distL=\"0\" distR=\"0\">"
        "<wp:extent cx=\"" +
        cx + "\" cy=\"" + cy +
        "\"/>"
        "<wp:effectExtent l=\"0\" t=\"0\" r=\"0\" b=\"0\"/>"
        "<wp:docPr id=\"" +
        docId + "\" name=\"Slika " + std::to_string(n) +
        "\"/>"
        "<wp:cNvGraphicFramePr><a:graphicFrameLocks noChangeAspect=\"1\"/></wp:cNvGraphicFramePr>"
        "<a:graphic><a:graphicData "
        "uri=\"http://schemas.openxmlformats.org/drawingml/2006/picture\">"
        "<pic:pic><pic:nvPicPr><pic:cNvPr id=\"" +
        docId + "\" name=\"" + file +
        "\"/>"
        "<pic:cNvPicPr/></pic:nvPicPr><pic:blipFill><a:blip r:embed=\"" +
        id +
        "\"/>"
        "<a:stretch><a:fillRect/></a:stretch></pic:blipFill><pic:spPr><a:xfrm>"
        "<a:off x=\"0\" y=\"0\"/><a:ext cx=\"" +
        cx + "\" cy=\"" + cy +
        "\"/></a:xfrm>"
        "<a:prstGeom prst=\"rect\"><a:avLst/></a:prstGeom></pic:spPr></pic:pic>"
        "</a:graphicData></a:graphic></wp:inline></w:drawing></w:r>";
  }

  const PageSetup& page_;
  std::vector<ZipPart>& media_;
  std::string& relations_;
  const std::string& mediaFolder_;
  const ReportTemplate& taken_;
  int pictures_ = 0;
};

}  // namespace

std::vector<double> TableColumnWidths(const Table& table, double textWidth) {
  std::vector<double> widths(static_cast<size_t>(table.Columns), 28.35);  // at least 1 cm
  for (int r = 1; r <= table.Rows; ++r) {
    for (int c = 1; c <= table.Columns; ++c) {
      double w = 0;
      for (const Inline& item : table.Cell(r, c).Content.Items)
        if (const auto* run = std::get_if<TextRun>(&item)) w += TextWidth(*run);
      double& column = widths[static_cast<size_t>(c - 1)];
      column = std::max(column, w + 2 * CellMarginPt + 6);
    }
  }
  double total = 0;
  for (double w : widths) total += w;
  if (total > textWidth)
    for (double& w : widths) w *= textWidth / total;
  return widths;
}

PictureSize FittedPictureSize(const Picture& picture, const PageSetup& page) {
  double scale = 1;
  if (picture.WidthPt > page.TextWidth()) scale = page.TextWidth() / picture.WidthPt;
  if (picture.HeightPt * scale > page.TextHeight()) scale = page.TextHeight() / picture.HeightPt;
  return {picture.WidthPt * scale, picture.HeightPt * scale};
}

std::string DocxBytes(const ReportDocument& document, const ReportTemplate& templ) {
  const size_t slash = templ.MainPart.find_last_of('/');
  const std::string folder = slash == std::string::npos ? "" : templ.MainPart.substr(0, slash + 1);
  const std::string name =
      slash == std::string::npos ? templ.MainPart : templ.MainPart.substr(slash + 1);

  std::vector<ZipPart> media;
  std::string imageRelations;
  BodyWriter writer(templ.Page, media, imageRelations, folder, templ);
  std::string xml = "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\n";
  xml += templ.RootStartTag + "<w:body>";
  // Empty lines right before a page break are left out, as the PDF leaves them out: on a
  // full page they would spill onto a blank page of their own.
  std::vector<const Paragraph*> emptyLines;
  for (const Block& block : document.Blocks()) {
    if (const auto* p = std::get_if<Paragraph>(&block)) {
      if (p->Empty()) {
        emptyLines.push_back(p);
        continue;
      }
      if (std::holds_alternative<PageBreak>(p->Items.front())) emptyLines.clear();
    }
    for (const Paragraph* e : emptyLines) writer.Write(*e, xml);
    emptyLines.clear();
    std::visit([&](const auto& b) { writer.Write(b, xml); }, block);
  }
  for (const Paragraph* e : emptyLines) writer.Write(*e, xml);  // the document's last lines
  xml += templ.SectionProperties + "</w:body></w:document>";

  std::string relations = templ.MainRelations;
  const size_t end = relations.rfind("</Relationships>");
  if (end != std::string::npos) relations.insert(end, imageRelations);

  std::vector<ZipPart> parts;
  parts.reserve(templ.Parts.size() + media.size() + 3);
  parts.push_back({"[Content_Types].xml", templ.ContentTypes});
  for (const ZipPart& p : templ.Parts) parts.push_back(p);
  parts.push_back({templ.MainPart, std::move(xml)});
  parts.push_back({folder + "_rels/" + name + ".rels", std::move(relations)});
  for (ZipPart& m : media) parts.push_back(std::move(m));
  return ZipBytes(parts);
}

void WriteDocx(const std::string& path, const ReportDocument& document,
               const ReportTemplate& templ) {
  WriteFileBytes(path, DocxBytes(document, templ));
}
