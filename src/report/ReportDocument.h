// The report's document: paragraphs of runs (text with size, bold and italic, page
// breaks, inline pictures), tables addressed by number, and a selection that types at
// the end of the document or into a table's cells. The operations are the ones a
// report is typed with; the ".docx" and PDF writers lay out the same model.
#pragma once

#include <string>
#include <variant>
#include <vector>

enum class Alignment { Left = 0, Center = 1, Right = 2 };

struct CharFormat {
  double Size = 12;  // points
  bool Bold = false;
  bool Italic = false;
};

// A picture as it stands in the text: the PNG file's bytes and its size on paper.
struct Picture {
  std::string Png;
  int PixelWidth = 0, PixelHeight = 0;
  double WidthPt = 0, HeightPt = 0;  // at the file's own pixel density (96 dpi without one)
};

struct TextRun {
  std::string Text;  // UTF-8
  CharFormat Format;
};
struct PageBreak {};
using Inline = std::variant<TextRun, PageBreak, Picture>;

struct Paragraph {
  std::vector<Inline> Items;
  Alignment Align = Alignment::Left;
  CharFormat Mark;  // the paragraph mark's format: an empty paragraph's height
  bool Empty() const { return Items.empty(); }
};

struct TableCell {
  Paragraph Content;
};

struct Table {
  int Rows = 0, Columns = 0;
  std::vector<TableCell> Cells;  // row by row
  Alignment RowsAlign = Alignment::Left;
  TableCell& Cell(int row, int column);  // 1-based; throws ListIndexError
  const TableCell& Cell(int row, int column) const;
};

using Block = std::variant<Paragraph, Table>;

class ReportDocument {
 public:
  ReportDocument();

  // --- The selection ---
  void TypeText(const std::string& text);
  // Ends the paragraph; the next one keeps its alignment. In a cell: a line break.
  void TypeParagraph();
  void SetSize(double points) { format_.Size = points; }
  void SetBold(bool on) { format_.Bold = on; }
  void SetItalic(bool on) { format_.Italic = on; }
  // Alignment of the paragraph the selection stands in.
  void SetAlignment(Alignment align);
  void InsertPageBreak();
  // The PNG file as an inline picture at the selection; FileError when it cannot be
  // read, std::runtime_error when it is not a PNG file.
  void AddPicture(const std::string& pngFile);
  // A table with borders where the selection stands (an empty paragraph becomes the
  // table; a paragraph follows it). The selection moves into its first cell. Returns
  // the table's number: its position among the document's tables, from 1.
  int AddTable(int rows, int columns);
  // The next cell of the table the selection is in (row by row); the selection takes
  // the cell's format.
  void MoveToNextCell();
  // The selection to the end of the document.
  void EndKey();

  // --- Tables by number ---
  Table& TableAt(int number);  // throws ListIndexError
  int TableCount() const { return static_cast<int>(tables_.size()); }
  // Appends text to a cell in the cell's own format.
  void CellInsertAfter(int table, int row, int column, const std::string& text);
  void SetCellBold(int table, int row, int column, bool on);
  void SetTableRowsAlignment(int table, Alignment align);

  const std::vector<Block>& Blocks() const { return blocks_; }
  // All text in document order, a line per paragraph and per cell (for checks).
  std::string PlainText() const;

 private:
  Paragraph& Current();
  std::vector<Block> blocks_;
  std::vector<size_t> tables_;  // block index of each table, in document order
  CharFormat format_;
  // Where the selection is: at the end (table 0) or in a cell of a table.
  int inTable_ = 0, cellIndex_ = 0;
};

// Width and height of a PNG image in pixels and its pixel density (dots per inch; 0
// when the file does not say). Throws std::runtime_error for bytes that are not a PNG.
struct PngInfo {
  int Width = 0, Height = 0;
  double DotsPerInch = 0;
};
PngInfo ReadPngInfo(const std::string& bytes);
