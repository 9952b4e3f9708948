#include "report/ReportDocument.h"

#include <cstdint>
#include <stdexcept>

#include "data/TextFile.h"

TableCell& Table::Cell(int row, int column) {
  if (row < 1 || row > Rows) throw ListIndexError(row);
  if (column < 1 || column > Columns) throw ListIndexError(column);
  return Cells[static_cast<size_t>((row - 1) * Columns + (column - 1))];
}

const TableCell& Table::Cell(int row, int column) const {
  return const_cast<Table*>(this)->Cell(row, column);
}

ReportDocument::ReportDocument() {
  Paragraph first;
  first.Mark = format_;
  blocks_.emplace_back(std::move(first));
}

Paragraph& ReportDocument::Current() {
  if (inTable_ > 0) return TableAt(inTable_).Cells[static_cast<size_t>(cellIndex_)].Content;
  return std::get<Paragraph>(blocks_.back());
}

void ReportDocument::TypeText(const std::string& text) {
  if (text.empty()) return;
  Paragraph& p = Current();
  p.Mark = format_;
  if (!p.Items.empty()) {
    if (auto* last = std::get_if<TextRun>(&p.Items.back());
        last && last->Format.Size == format_.Size && last->Format.Bold == format_.Bold &&
        last->Format.Italic == format_.Italic) {
      last->Text += text;
      return;
    }
  }
  p.Items.emplace_back(TextRun{text, format_});
}

void ReportDocument::TypeParagraph() {
  if (inTable_ > 0) {  // a cell holds one paragraph here: a new line within it
    TypeText("\n");
    return;
  }
  Paragraph next;
  next.Align = Current().Align;
  next.Mark = format_;
  blocks_.emplace_back(std::move(next));
}

void ReportDocument::SetAlignment(Alignment align) { Current().Align = align; }

void ReportDocument::InsertPageBreak() { Current().Items.emplace_back(PageBreak{}); }

void ReportDocument::AddPicture(const std::string& pngFile) {
  Picture picture;
  picture.Png = ReadFileBytes(pngFile);
  PngInfo info;
  try {
    info = ReadPngInfo(picture.Png);
  } catch (const std::runtime_error&) {
    throw std::runtime_error("The picture \"" + pngFile + "\" is not a PNG file");
  }
  picture.PixelWidth = info.Width;
  picture.PixelHeight = info.Height;
  const double dpi = info.DotsPerInch > 0 ? info.DotsPerInch : 96.0;
  picture.WidthPt = info.Width * 72.0 / dpi;
  picture.HeightPt = info.Height * 72.0 / dpi;
  Current().Items.emplace_back(std::move(picture));
}

int ReportDocument::AddTable(int rows, int columns) {
  if (rows < 1) throw ListIndexError(rows);
  if (columns < 1) throw ListIndexError(columns);
  EndKey();
  Table table;
  table.Rows = rows;
  table.Columns = columns;
  TableCell cell;
  cell.Content.Mark = format_;
  table.Cells.assign(static_cast<size_t>(rows * columns), cell);
  const Paragraph here = std::get<Paragraph>(blocks_.back());
  Paragraph after;
  after.Align = here.Align;
  after.Mark = here.Mark;
  if (here.Empty()) blocks_.pop_back();  // the empty paragraph becomes the table
  tables_.push_back(blocks_.size());
  blocks_.emplace_back(std::move(table));
  blocks_.emplace_back(std::move(after));
  inTable_ = static_cast<int>(tables_.size());
  cellIndex_ = 0;
  return inTable_;
}

void ReportDocument::MoveToNextCell() {
  if (inTable_ == 0) return;
  Table& t = TableAt(inTable_);
  if (cellIndex_ + 1 < static_cast<int>(t.Cells.size())) ++cellIndex_;
  format_ = t.Cells[static_cast<size_t>(cellIndex_)].Content.Mark;
}

void ReportDocument::EndKey() {
  inTable_ = 0;
  cellIndex_ = 0;
}

Table& ReportDocument::TableAt(int number) {
  if (number < 1 || number > TableCount()) throw ListIndexError(number);
  return std::get<Table>(blocks_[tables_[static_cast<size_t>(number - 1)]]);
}

void ReportDocument::CellInsertAfter(int table, int row, int column, const std::string& text) {
  if (text.empty()) return;
  Paragraph& p = TableAt(table).Cell(row, column).Content;
  p.Items.emplace_back(TextRun{text, p.Mark});
}

void ReportDocument::SetCellBold(int table, int row, int column, bool on) {
  Paragraph& p = TableAt(table).Cell(row, column).Content;
  p.Mark.Bold = on;
  for (Inline& item : p.Items)
    if (auto* run = std::get_if<TextRun>(&item)) run->Format.Bold = on;
}

void ReportDocument::SetTableRowsAlignment(int table, Alignment align) {
  TableAt(table).RowsAlign = align;
}

namespace {
void AppendText(const Paragraph& p, std::string& out) {
  for (const Inline& item : p.Items)
    if (const auto* run = std::get_if<TextRun>(&item)) out += run->Text;
  out += '\n';
}
}  // namespace

std::string ReportDocument::PlainText() const {
  std::string out;
  for (const Block& block : blocks_) {
    if (const auto* p = std::get_if<Paragraph>(&block)) {
      AppendText(*p, out);
    } else {
      for (const TableCell& cell : std::get<Table>(block).Cells) AppendText(cell.Content, out);
    }
  }
  return out;
}

namespace {
std::uint32_t BigEndian32(const std::string& b, size_t at) {
  return (std::uint32_t(static_cast<unsigned char>(b[at])) << 24) |
         (std::uint32_t(static_cast<unsigned char>(b[at + 1])) << 16) |
         (std::uint32_t(static_cast<unsigned char>(b[at + 2])) << 8) |
         std::uint32_t(static_cast<unsigned char>(b[at + 3]));
}
}  // namespace

PngInfo ReadPngInfo(const std::string& bytes) {
  static const std::string Signature("\x89PNG\r\n\x1a\n", 8);
  if (bytes.size() < 33 || bytes.compare(0, 8, Signature) != 0 ||
      bytes.compare(12, 4, "IHDR") != 0)
    throw std::runtime_error("not a PNG file");
  PngInfo info;
  info.Width = static_cast<int>(BigEndian32(bytes, 16));
  info.Height = static_cast<int>(BigEndian32(bytes, 20));
  if (info.Width <= 0 || info.Height <= 0) throw std::runtime_error("not a PNG file");
  // The chunks before the image data: a pHYs chunk in pixels per metre gives the density.
  size_t at = 8;
  while (at + 12 <= bytes.size()) {
    const std::uint32_t length = BigEndian32(bytes, at);
    const std::string type = bytes.substr(at + 4, 4);
    if (type == "IDAT" || type == "IEND") break;
    if (type == "pHYs" && length >= 9 && at + 8 + 9 <= bytes.size() && bytes[at + 16] == 1)
      info.DotsPerInch = BigEndian32(bytes, at + 8) * 0.0254;
    if (length > bytes.size()) break;
    at += 12 + length;
  }
  return info;
}
