#include "report/ui/PdfReportWriter.h"

#include <QFont>
#include <QFontMetricsF>
#include <QImage>
#include <QPageLayout>
#include <QPageSize>
#include <QPainter>
#include <QPdfWriter>
#include <QSaveFile>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextTable>
#include <QUrl>
#include <algorithm>
#include <vector>

#include "data/TextFile.h"
#include "report/DocxWriter.h"

namespace {

// The report's typeface at a size in the PDF's pixels.
QFont ReportFont(int pixelSize) {
  QFont font(QStringLiteral("Arial"));
  font.setStyleHint(QFont::SansSerif);
  font.setPixelSize(std::max(1, pixelSize));
  return font;
}

// Lays the document model out in a QTextDocument whose units are the PDF's pixels.
class Layout {
 public:
  Layout(QTextDocument& doc, const PageSetup& page, double pixelsPerPoint)
      : doc_(doc), page_(page), scale_(pixelsPerPoint), cursor_(&doc) {}

  // Empty lines right before a page break, or at the end, are left out: they would only
  // spill over onto a page of their own when the page before is full.
  void Add(const ReportDocument& document) {
    std::vector<const Paragraph*> emptyLines;
    auto flush = [&] {
      for (const Paragraph* e : emptyLines) AddParagraph(*e);
      emptyLines.clear();
    };
    for (const Block& block : document.Blocks()) {
      if (const auto* p = std::get_if<Paragraph>(&block)) {
        if (p->Empty()) {
          emptyLines.push_back(p);
          continue;
        }
        if (std::holds_alternative<PageBreak>(p->Items.front()))
          emptyLines.clear();
        else
          flush();
        AddParagraph(*p);
      } else {
        flush();
        AddTable(std::get<Table>(block));
      }
    }
  }

 private:
  QTextCharFormat CharFormatOf(const CharFormat& f) const {
    QTextCharFormat c;
    QFont font = ReportFont(qRound(f.Size * scale_));
    font.setBold(f.Bold);
    font.setItalic(f.Italic);
    c.setFont(font);
    return c;
  }

  static Qt::Alignment AlignmentOf(Alignment a) {
    switch (a) {
      case Alignment::Center:
        return Qt::AlignHCenter;
      case Alignment::Right:
        return Qt::AlignRight;
      default:
        return Qt::AlignLeft;
    }
  }

  // Starts a block: the empty one the document begins with, or the one after a table,
  // is taken as it is.
  void NewBlock(const Paragraph& p, bool pageBreakBefore) {
    QTextBlockFormat format;
    format.setAlignment(AlignmentOf(p.Align));
    if (pageBreakBefore) format.setPageBreakPolicy(QTextFormat::PageBreak_AlwaysBefore);
    if (reuseBlock_)
      cursor_.setBlockFormat(format);
    else
      cursor_.insertBlock(format);
    reuseBlock_ = false;
    cursor_.setBlockCharFormat(CharFormatOf(p.Mark));
  }

  // One paragraph: a page break within it starts a new block on the next page; the
  // empty part before a break (a break typed on an empty line) leaves no block.
  void AddParagraph(const Paragraph& p) {
    bool started = false, breakPending = false;
    for (const Inline& item : p.Items) {
      if (std::holds_alternative<PageBreak>(item)) {
        started = false;
        breakPending = true;
        continue;
      }
      if (!started) {
        NewBlock(p, breakPending);
        started = true;
        breakPending = false;
      }
      if (const auto* run = std::get_if<TextRun>(&item))
        InsertRun(cursor_, *run);
      else
        AddPicture(std::get<Picture>(item));
    }
    if (!started) NewBlock(p, breakPending);  // an empty line, or the line after a break
  }

  void InsertRun(QTextCursor& cursor, const TextRun& run) const {
    QString text = QString::fromStdString(run.Text);
    text.replace(QLatin1Char('\n'), QChar::LineSeparator);
    cursor.insertText(text, CharFormatOf(run.Format));
  }

  void AddPicture(const Picture& picture) {
    const QString name = QStringLiteral("vtimage://%1").arg(++pictures_);
    doc_.addResource(QTextDocument::ImageResource, QUrl(name),
                     QImage::fromData(QByteArray::fromStdString(picture.Png), "PNG"));
    const PictureSize size = FittedPictureSize(picture, page_);
    QTextImageFormat format;
    format.setName(name);
    format.setWidth(size.Width * scale_);
    format.setHeight(size.Height * scale_);
    cursor_.insertImage(format);
  }

  void AddTable(const Table& t) {
    QTextTableFormat format;
    format.setBorder(0.75 * scale_);
    format.setBorderStyle(QTextFrameFormat::BorderStyle_Solid);
    format.setBorderBrush(Qt::black);
    format.setBorderCollapse(true);
    format.setCellSpacing(0);
    format.setCellPadding(2.5 * scale_);
    format.setAlignment(AlignmentOf(t.RowsAlign));
    QList<QTextLength> widths;
    // The borders and the cells' padding come on top of the columns' widths.
    const double frame = t.Columns * (2 * 2.5 + 0.75) + 0.75;
    for (double w : TableColumnWidths(t, page_.TextWidth() - frame))
      widths.append(QTextLength(QTextLength::FixedLength, w * scale_));
    format.setColumnWidthConstraints(widths);
    // The table goes into a block of its own after the paragraphs before it; Qt keeps
    // that block's empty remainder after the table.
    if (!reuseBlock_) cursor_.insertBlock(QTextBlockFormat(), CharFormatOf(CharFormat{}));
    QTextTable* table = cursor_.insertTable(t.Rows, t.Columns, format);
    for (int r = 1; r <= t.Rows; ++r) {
      for (int c = 1; c <= t.Columns; ++c) {
        QTextCursor cell = table->cellAt(r - 1, c - 1).firstCursorPosition();
        const Paragraph& content = t.Cell(r, c).Content;
        cell.setBlockCharFormat(CharFormatOf(content.Mark));
        for (const Inline& item : content.Items)
          if (const auto* run = std::get_if<TextRun>(&item)) InsertRun(cell, *run);
      }
    }
    // The paragraph after the table is the block Qt keeps there.
    cursor_.movePosition(QTextCursor::End);
    reuseBlock_ = true;
  }

  QTextDocument& doc_;
  const PageSetup& page_;
  double scale_;
  QTextCursor cursor_;
  int pictures_ = 0;
  bool reuseBlock_ = true;
};

// The template's header and footer on one page, in the margins above and below the text:
// a line a paragraph; the parts of a line between tabs go left, centre and right, as the
// header style's tab stops put them.
void DrawHeaderAndFooter(QPainter& painter, const ReportTemplate& templ, double pixelsPerPoint,
                         double textWidth, int page, int pages) {
  if (templ.HeaderLines.empty() && templ.FooterLines.empty()) return;
  const PageSetup& setup = templ.Page;
  const QFont font = ReportFont(qRound(10 * pixelsPerPoint));
  painter.save();
  painter.setFont(font);
  painter.setPen(Qt::black);
  const double lineHeight = QFontMetricsF(font).lineSpacing();
  const auto drawLines = [&](const std::vector<std::string>& lines, double top) {
    for (const std::string& line : lines) {
      const QStringList parts =
          QString::fromStdString(WithPageFields(line, page, pages)).split(QLatin1Char('\t'));
      const Qt::Alignment alignments[] = {Qt::AlignLeft, Qt::AlignHCenter, Qt::AlignRight};
      for (qsizetype i = 0; i < parts.size(); ++i)
        painter.drawText(QRectF(0, top, textWidth, lineHeight),
                         alignments[std::min<qsizetype>(i, 2)] | Qt::AlignVCenter, parts[i]);
      top += lineHeight;
    }
  };
  // The painter's origin is the top left corner of the text area.
  drawLines(templ.HeaderLines, (setup.Header - setup.Top) * pixelsPerPoint);
  drawLines(templ.FooterLines, (setup.Height - setup.Top - setup.Footer) * pixelsPerPoint -
                                   lineHeight * static_cast<double>(templ.FooterLines.size()));
  painter.restore();
}

}  // namespace

void PdfReportWriter::Write(const std::string& path, const ReportDocument& document,
                            const ReportTemplate& templ) const {
  const QString fileName = QString::fromStdString(path);
  QSaveFile file(fileName);
  if (!file.open(QIODevice::WriteOnly))
    throw FileError("Cannot create file \"" + path + "\". " + file.errorString().toStdString());
  {
    const PageSetup& page = templ.Page;
    QPdfWriter writer(&file);
    writer.setTitle(QString::fromUtf8("Poročilo o eksperimentu"));
    writer.setCreator(QStringLiteral("Vor Tuner"));
    writer.setResolution(600);
    writer.setPageLayout(QPageLayout(QPageSize(QSizeF(page.Width, page.Height), QPageSize::Point,
                                               QString(), QPageSize::ExactMatch),
                                     QPageLayout::Portrait,
                                     QMarginsF(page.Left, page.Top, page.Right, page.Bottom),
                                     QPageLayout::Point));
    // Laid out in pixels of 96 per inch (font, picture and table sizes alike), and
    // printed scaled to the writer's resolution.
    constexpr double LayoutDpi = 96;
    const double toDevice = writer.resolution() / LayoutDpi;
    QTextDocument doc;
    doc.setDocumentMargin(0);
    const QSizeF pageSize(writer.width() / toDevice, writer.height() / toDevice);
    doc.setPageSize(pageSize);
    Layout(doc, page, LayoutDpi / 72.0).Add(document);

    QPainter painter(&writer);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.scale(toDevice, toDevice);
    const int pages = doc.pageCount();
    for (int i = 0; i < pages; ++i) {
      if (i > 0) writer.newPage();
      painter.save();
      painter.translate(0, -i * pageSize.height());
      // Half a pixel in from both page edges, so that the line that begins the next
      // page is not drawn (clipped, yet present in the text) at the foot of this one.
      doc.drawContents(&painter, QRectF(0, i * pageSize.height() + 0.5, pageSize.width(),
                                        pageSize.height() - 1));
      painter.restore();
      DrawHeaderAndFooter(painter, templ, LayoutDpi / 72.0, pageSize.width(), i + 1, pages);
    }
    if (!painter.end()) throw FileError("Cannot write file \"" + path + "\".");
  }
  if (!file.commit())
    throw FileError("Cannot write file \"" + path + "\". " + file.errorString().toStdString());
}
