// What a report takes from its template: the package's styles, settings, headers,
// footers and other parts, the main part's root element and its page setup. The
// default template ("normal.dot") is the built-in one: a clean A4 page, a sans-serif
// body. A ".dotx" or ".docx" file lends its own; its body text is not taken over.
#pragma once

#include <string>
#include <vector>

#include "report/ZipPackage.h"

// Page size and margins in points.
struct PageSetup {
  double Width = 595.3, Height = 841.9;                         // A4
  double Left = 70.9, Right = 70.9, Top = 70.9, Bottom = 70.9;  // 2.5 cm
  double Header = 35.45, Footer = 35.45;  // from the page's top and bottom edge
  double TextWidth() const { return Width - Left - Right; }
  double TextHeight() const { return Height - Top - Bottom; }
};

struct ReportTemplate {
  // Every part of the package except the main document part and its relationships.
  std::vector<ZipPart> Parts;
  std::string MainPart = "word/document.xml";
  std::string ContentTypes;       // "[Content_Types].xml", the main part a document
  std::string MainRelations;      // the main part's relationships (without the images)
  std::string RootStartTag;       // "<w:document ...>" with every namespace the body needs
  std::string SectionProperties;  // the body's final "<w:sectPr>...</w:sectPr>"
  PageSetup Page;
  // The text of the default header and footer, a line a paragraph, for writers that lay
  // the pages out themselves; a page number field stands as PageNumberField, the number
  // of pages as PageCountField.
  std::vector<std::string> HeaderLines, FooterLines;
};

inline constexpr char PageNumberField = '\x01', PageCountField = '\x02';

// The line of a header or footer with its page fields filled in.
std::string WithPageFields(const std::string& line, int page, int pages);

// The template's name as the report tab shows it: "normal.dot" (any case) or an empty
// name is the built-in template.
bool IsBuiltInTemplate(const std::string& name);

// Loads a template. Throws std::runtime_error with a Slovenian message naming the file
// when it does not exist or is not a word-processing package this program can read.
ReportTemplate LoadReportTemplate(const std::string& name);
ReportTemplate BuiltInTemplate();
