#include "report/TPorocilo.h"

#include <algorithm>
#include <cctype>
#include <stdexcept>

#include "data/TextFile.h"
#include "report/DocxWriter.h"
#include "report/ReportImages.h"

namespace {

std::string LowerExtension(const std::string& path) {
  const size_t slash = path.find_last_of("/\\");
  const size_t dot = path.find_last_of('.');
  if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return "";
  std::string ext = path.substr(dot);
  std::transform(ext.begin(), ext.end(), ext.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return ext;
}

// heading(x): size 14, bold, x, size 12, bold off, two paragraph ends.
void Heading(ReportDocument& d, const std::string& text) {
  d.SetSize(14);
  d.SetBold(true);
  d.TypeText(text);
  d.SetSize(12);
  d.SetBold(false);
  d.TypeParagraph();
  d.TypeParagraph();
}

void Line(ReportDocument& d, const std::string& text) {
  d.TypeText(text);
  d.TypeParagraph();
}

void Title(ReportDocument& d, const ReportInputs& in) {
  d.TypeParagraph();
  d.SetSize(20);
  d.SetBold(true);
  d.TypeText("Poročilo o eksperimentu");
  d.SetSize(12);
  d.SetBold(false);
  d.TypeParagraph();
  d.SetItalic(true);
  d.TypeText(in.TitleLine);
  d.SetAlignment(Alignment::Right);
  d.SetItalic(false);
  d.TypeParagraph();
  d.SetAlignment(Alignment::Left);
  d.TypeParagraph();
  if (in.AboutLines.empty() && in.FirstPageNotes.empty()) return;
  for (const std::string& line : in.AboutLines) Line(d, line);
  if (!in.FirstPageNotes.empty()) {
    d.SetBold(true);
    for (const std::string& note : in.FirstPageNotes) {
      d.TypeText(note);
      d.TypeParagraph();
    }
    d.SetBold(false);
  }
  d.TypeParagraph();
}

// A table whose header row is typed bold cell by cell; the selection then leaves it.
int HeaderTable(ReportDocument& d, int rows, std::initializer_list<const char*> header) {
  const int number = d.AddTable(rows, static_cast<int>(header.size()));
  bool first = true;
  for (const char* caption : header) {
    if (!first) d.MoveToNextCell();
    first = false;
    d.SetBold(true);
    d.TypeText(caption);
  }
  d.SetBold(false);
  return number;
}

void EndOfTable(ReportDocument& d) {
  d.EndKey();
  d.TypeParagraph();
  d.TypeParagraph();
}

// The box "Opozorila": a bordered table, a row per warning, before everything else the
// first page holds.
void WarningsBox(ReportDocument& d, const std::vector<std::string>& warnings) {
  if (warnings.empty()) return;
  d.SetSize(10);  // compact, so that the first page still holds the OPC tables
  const int table = HeaderTable(d, static_cast<int>(warnings.size()) + 1, {"Opozorila"});
  for (size_t i = 0; i < warnings.size(); ++i)
    d.CellInsertAfter(table, static_cast<int>(i) + 2, 1, warnings[i]);
  d.EndKey();
  d.SetSize(12);
  d.TypeParagraph();
}

void OpcTables(ReportDocument& d, const ReportInputs& in) {
  Heading(d, "OPC Nastavitve");
  if (in.OpcServer.empty()) {
    d.TypeParagraph();  // no server line, and the space it took stays free
  } else {
    d.TypeText("OPC Strežnik: " + in.OpcServer);
    for (int i = 0; i < 3; ++i) d.TypeParagraph();
  }

  const int signals = HeaderTable(d, 5, {"Procesni signali", "Opis", "OPC točke"});
  const char* const names[] = {"Manipulativni signal 1", "Izhod regulatorja", "Meritev 1",
                               "Meritev 2"};
  const int rows[] = {0, 2, 4, 5};
  for (int r = 0; r < 4; ++r) {
    d.CellInsertAfter(signals, r + 2, 1, names[r]);
    d.CellInsertAfter(signals, r + 2, 2, in.OpcDescriptions[static_cast<size_t>(rows[r])]);
    d.CellInsertAfter(signals, r + 2, 3, in.OpcItemIds[static_cast<size_t>(rows[r])]);
  }
  EndOfTable(d);

  const char* const terms[] = {"P člen", "I člen", "D člen", "R/A", "Ročno", "Avtomatsko"};
  for (const auto& [caption, firstRow] :
       {std::pair{"Parametri regulatorja", 7}, std::pair{"Parametri zunanjega regulatorja", 14}}) {
    const int table = HeaderTable(d, 7, {caption, "OPC točke"});
    for (int r = 0; r < 6; ++r) {
      d.CellInsertAfter(table, r + 2, 1, terms[r]);
      d.CellInsertAfter(table, r + 2, 2, in.OpcItemIds[static_cast<size_t>(firstRow + r)]);
    }
    EndOfTable(d);
  }
}

// "Časovni potek ... (" + description + ")", or the caption alone for no description.
std::string Captioned(const std::string& opening, const std::string& description) {
  if (description.empty()) return opening.substr(0, opening.size() - 2);  // " ("
  return opening + description + ")";
}

void ObdelavaSection(ReportDocument& d, const ReportInputs& in, const std::string& folder) {
  d.InsertPageBreak();
  Heading(d, "Obdelava");
  struct Signal {
    const char* TimeCaption;
    ReportImage Time;
    const char* HistogramCaption;
    ReportImage Histogram;
    int Row;
  };
  const Signal signals[] = {{"Časovni potek manipulativnega signala (", ReportImage::TimeMV,
                             "Histogram manipulativnega signala (", ReportImage::HistogramMV, 0},
                            {"Časovni potek izhoda regulatorja (", ReportImage::TimeU,
                             "Histogram izhoda regulatorja (", ReportImage::HistogramU, 2},
                            {"Časovni potek izhoda procesa (", ReportImage::TimeY1,
                             "Histogram izhoda procesa (", ReportImage::HistogramY1, 4},
                            {"Časovni potek dodatnega izhoda procesa (", ReportImage::TimeY2,
                             "Histogram dodatnega izhoda procesa (", ReportImage::HistogramY2, 5}};
  for (int i = 0; i < 4; ++i) {
    const Signal& s = signals[i];
    const std::string& description = in.OpcDescriptions[static_cast<size_t>(s.Row)];
    const SignalStatisticsTexts& stats = in.Statistics[static_cast<size_t>(i)];
    Line(d, Captioned(s.TimeCaption, description));
    d.AddPicture(ReportImagePath(folder, s.Time));
    d.TypeParagraph();
    d.TypeParagraph();
    Line(d, "Maksimum: " + stats.Maximum);
    Line(d, "Minumum: " + stats.Minimum);
    Line(d, "STD: " + stats.StdDev);
    d.TypeParagraph();
    Line(d, Captioned(s.HistogramCaption, description));
    d.SetAlignment(Alignment::Center);
    d.AddPicture(ReportImagePath(folder, s.Histogram));
    d.TypeParagraph();
    d.SetAlignment(Alignment::Left);
    d.TypeParagraph();
    if (i < 3) d.InsertPageBreak();
  }
}

void ModelLines(ReportDocument& d, const ModelTexts& m) {
  if (!m.Kind.empty()) {
    Line(d, "Vrsta procesa: " + m.Kind);
    Line(d, "Ocenjen naklon k' [1/s]: " + m.Gain);
  } else {
    Line(d, "Ocenjeno ojačenje: " + m.Gain);
  }
  Line(d, "Ocenjena časovna konstanta(s): " + m.TimeConstant);
  Line(d, "Ocenjen mrtvi čas [s]: " + m.DeadTime);
  Line(d, "Abs. standardna deviacija: " + m.StdDev);
  Line(d, "Relativni pogrešek modela: " + m.RelativeError);
  Line(d, "Kvaliteta modela: " + m.Quality);
}

void ModelSection(ReportDocument& d, const ReportInputs& in, const std::string& folder) {
  d.InsertPageBreak();
  Heading(d, "Model");
  Line(d, "Odprtozančni odziv procesa");
  d.AddPicture(ReportImagePath(folder, ReportImage::Model));
  d.TypeParagraph();
  d.TypeParagraph();
  d.SetBold(true);
  d.TypeText("Parametri modela");
  d.SetBold(false);
  d.TypeParagraph();
  d.TypeParagraph();
  if (!in.Cascade) {
    ModelLines(d, {in.ModelGain,
                   in.ModelTimeConstant,
                   in.ModelDeadTime,
                   in.ModelStdDev,
                   in.ModelRelativeError,
                   {},
                   {},
                   in.ModelQuality,
                   in.ModelKind});
    d.TypeParagraph();
    return;
  }
  for (const auto& [caption, model] : {std::pair{"Notranji proces (U → Y1)", &in.InnerModel},
                                       std::pair{"Zunanji proces (Y1 → Y2)", &in.OuterModel}}) {
    d.SetItalic(true);
    Line(d, caption);
    d.SetItalic(false);
    ModelLines(d, *model);
    d.TypeParagraph();
  }
}

// The controller table: I, P, PI and PID with their Kp, Ki and Kd. Returns its number.
int ControllerTable(ReportDocument& d, const ReportInputs& in) {
  const int table = HeaderTable(d, 5, {"Tip regulatorja", "Kp", "Ki [1/s]", "Kd [s]"});
  const std::array<std::array<std::string, 4>, 4> rows = {{
      {"I regulator", "", in.IKi, ""},
      {"P regulator", in.PKp, "", ""},
      {"PI regulator", in.PIKp, in.PIKi, ""},
      {"PID regulator", in.PIDKp, in.PIDKi, in.PIDKd},
  }};
  for (int r = 0; r < 4; ++r) {
    d.SetCellBold(table, r + 2, 1, true);
    for (int c = 0; c < 4; ++c)
      d.CellInsertAfter(table, r + 2, c + 1, rows[static_cast<size_t>(r)][static_cast<size_t>(c)]);
  }
  d.SetTableRowsAlignment(table, Alignment::Center);
  return table;
}

// Table 5, after the controller table: the robustness figures of the four proposals.
void RobustnessTable(ReportDocument& d, const std::vector<std::array<std::string, 4>>& rows) {
  d.TypeParagraph();
  d.SetBold(true);
  d.TypeText("Robustnost regulatorjev");
  d.SetBold(false);
  d.TypeParagraph();
  d.TypeParagraph();
  const std::array<std::string, 4>& h = rows.front();
  const int table = HeaderTable(d, static_cast<int>(rows.size()),
                                {h[0].c_str(), h[1].c_str(), h[2].c_str(), h[3].c_str()});
  for (size_t r = 1; r < rows.size(); ++r) {
    const int row = static_cast<int>(r) + 1;
    d.SetCellBold(table, row, 1, true);
    for (int c = 0; c < 4; ++c) d.CellInsertAfter(table, row, c + 1, rows[r][static_cast<size_t>(c)]);
  }
  d.SetTableRowsAlignment(table, Alignment::Center);
  EndOfTable(d);
}

void RegulatorSection(ReportDocument& d, const ReportInputs& in, const std::string& folder) {
  d.InsertPageBreak();
  Heading(d, "Regulator");
  if (!in.TuningMethod.empty()) Line(d, "Metoda nastavljanja: " + in.TuningMethod);
  if (in.Cascade) {
    Line(d, "Kaskadna regulacija (zunanji regulator nad notranjo P zanko)");
    Line(d, "Ojačenje notranje zanke: " + in.InnerLoopGain);
  }
  if (!in.TuningMethod.empty() || in.Cascade) d.TypeParagraph();
  Line(d, in.ResponseKind.empty()
              ? std::string("Odprtozančni in zaprtozančni odzivi")
              : "Odprtozančni in zaprtozančni odzivi (" + in.ResponseKind + ")");
  d.AddPicture(ReportImagePath(folder, ReportImage::Responses));
  for (int i = 0; i < 4; ++i) d.TypeParagraph();
  ControllerTable(d, in);
  EndOfTable(d);
  if (!in.ScaledKp.empty()) Line(d, "Skaliran P člen: " + in.ScaledKp);
  if (!in.ScaledKi.empty()) Line(d, "Skaliran I člen: " + in.ScaledKi);
  if (!in.ScaledKd.empty()) Line(d, "Skaliran D člen: " + in.ScaledKd);
  if (!in.Robustness.empty()) RobustnessTable(d, in.Robustness);
  if (!in.Robustness.empty() && !in.RobustnessSampleTime.empty())
    Line(d, "Robustnost velja za diskretne regulatorje s časom vzorčenja " +
                in.RobustnessSampleTime + " s.");
}

}  // namespace

std::string ReportPathFor(const std::string& chosen, bool pdfChosen) {
  const std::string ext = LowerExtension(chosen);
  if (ext == ".docx" || ext == ".pdf") return chosen;
  if (ext == ".doc") return chosen + "x";
  return chosen + (pdfChosen ? ".pdf" : ".docx");
}

bool IsPdfPath(const std::string& path) { return LowerExtension(path) == ".pdf"; }

ReportDocument TPorocilo::BuildReport(const ReportInputs& in, const std::string& imageFolder) {
  ReportDocument d;
  Title(d, in);
  WarningsBox(d, in.Warnings);
  OpcTables(d, in);
  if (in.SectionObdelava) ObdelavaSection(d, in, imageFolder);
  if (in.SectionModel) ModelSection(d, in, imageFolder);
  if (in.SectionRegulator) RegulatorSection(d, in, imageFolder);
  return d;
}

void TPorocilo::CreateReport(const ReportInputs& in) const {
  Write(in, LoadReportTemplate(in.Template));
}

void TPorocilo::CreateReport(const ReportInputs& in, ReportImagePort& images,
                             MeasurementStore& store, const ReportImageRequest& request) const {
  const ReportTemplate templ = LoadReportTemplate(in.Template);
  const std::string folder = FolderOf(in.ReportPath);
  try {
    ExportReportImages(images, folder, store, request);
    Write(in, templ);
  } catch (...) {
    DeleteReportImages(folder);
    throw;
  }
  DeleteReportImages(folder);
}

void TPorocilo::Write(const ReportInputs& in, const ReportTemplate& templ) const {
  const bool pdf = IsPdfPath(in.ReportPath);
  if (pdf && !pdf_) throw std::runtime_error("Poročila v PDF ta program tu ne more zapisati.");
  const ReportDocument document = BuildReport(in, FolderOf(in.ReportPath));
  if (pdf)
    pdf_->Write(in.ReportPath, document, templ);
  else
    WriteDocx(in.ReportPath, document, templ);
}
