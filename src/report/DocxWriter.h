// The Office Open XML writer: a report document as a ".docx" package, its body written
// here, its styles, page setup, headers and footers taken from the template.
#pragma once

#include <string>

#include "report/ReportDocument.h"
#include "report/ReportTemplate.h"

// The package's bytes.
std::string DocxBytes(const ReportDocument& document, const ReportTemplate& templ);
// Written through a temporary file renamed over the target; FileError names the file.
void WriteDocx(const std::string& path, const ReportDocument& document,
               const ReportTemplate& templ);

// How wide a table's columns are laid out, in points: each as wide as its widest text
// (with the cell margins), all shrunk alike to fit the text width when wider.
std::vector<double> TableColumnWidths(const Table& table, double textWidth);
// A picture's size on the page: its own size, shrunk (keeping its shape) to fit the
// text area.
struct PictureSize {
  double Width = 0, Height = 0;
};
PictureSize FittedPictureSize(const Picture& picture, const PageSetup& page);
