// The PDF writer of report documents: the document laid out by Qt's text layout on the
// template's page (size and margins) and printed with Qt's PDF writer.
#pragma once

#include "report/TPorocilo.h"

class PdfReportWriter final : public ReportFileWriter {
 public:
  // Writes through a temporary file renamed over the target; FileError names the file.
  void Write(const std::string& path, const ReportDocument& document,
             const ReportTemplate& templ) const override;
};
