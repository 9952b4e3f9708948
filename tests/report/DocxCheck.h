// Checks of a written report: the ".docx" package's structure (every XML part
// well-formed, every relationship target present, a content type for every part) and
// the text of a PDF through pdftotext, with LibreOffice converting where installed.
#pragma once

#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QRegularExpression>
#include <QString>
#include <QStringList>
#include <QUrl>
#include <QXmlStreamReader>
#include <map>
#include <string>
#include <vector>

#include "report/ZipPackage.h"

namespace docxcheck {

// Problems found in the package; empty when it is sound.
inline std::vector<std::string> PackageProblems(const std::string& path) {
  std::vector<std::string> problems;
  std::map<std::string, std::string> parts;
  for (ZipPart& p : ReadZipParts(path)) parts[p.Name] = std::move(p.Bytes);
  std::vector<std::string> defaults, overrides;
  for (const auto& [name, bytes] : parts) {
    const bool xml = name.ends_with(".xml") || name.ends_with(".rels");
    if (!xml) continue;
    QXmlStreamReader reader(QByteArray::fromStdString(bytes));
    reader.setNamespaceProcessing(true);
    while (!reader.atEnd()) {
      reader.readNext();
      if (name == "[Content_Types].xml" && reader.isStartElement()) {
        if (reader.name() == u"Default")
          defaults.push_back(reader.attributes().value("Extension").toString().toLower().toStdString());
        if (reader.name() == u"Override")
          overrides.push_back(reader.attributes().value("PartName").toString().toStdString());
      }
      if (name.ends_with(".rels") && reader.isStartElement() && reader.name() == u"Relationship" &&
          reader.attributes().value("TargetMode") != u"External") {
        // The target relative to the folder of the part the relationships belong to.
        const std::string source = name.substr(0, name.find("_rels/"));
        const QString target = reader.attributes().value("Target").toString();
        const QString resolved = target.startsWith('/')
                                     ? target.mid(1)
                                     : QDir::cleanPath(QString::fromStdString(source) + target);
        if (!parts.count(resolved.toStdString()))
          problems.push_back(name + ": missing target " + resolved.toStdString());
      }
    }
    if (reader.hasError())
      problems.push_back(name + ": " + reader.errorString().toStdString());
  }
  for (const auto& [name, bytes] : parts) {
    if (name == "[Content_Types].xml") continue;
    const std::string ext = name.substr(name.find_last_of('.') + 1);
    bool covered = std::find(overrides.begin(), overrides.end(), "/" + name) != overrides.end();
    for (const std::string& d : defaults) covered = covered || d == ext;
    if (!covered) problems.push_back(name + ": no content type");
  }
  if (!parts.count("[Content_Types].xml")) problems.push_back("no [Content_Types].xml");
  return problems;
}

inline bool HaveTool(const char* name) {
  return !QStandardPaths::findExecutable(QString::fromLatin1(name)).isEmpty();
}

// The text of a PDF in content order ("" when pdftotext fails).
inline QString PdfText(const QString& pdf) {
  QProcess p;
  p.start(QStringLiteral("pdftotext"), {QStringLiteral("-raw"), pdf, QStringLiteral("-")});
  p.waitForFinished(60000);
  return QString::fromUtf8(p.readAllStandardOutput());
}

// LibreOffice converts the document to PDF in `outDir` with its own profile there;
// returns the PDF's path ("" on failure).
inline QString ConvertWithLibreOffice(const QString& document, const QString& outDir) {
  QProcess p;
  const QString profile =
      QUrl::fromLocalFile(outDir + "/lo-profile").toString(QUrl::FullyEncoded);
  p.start(QStringLiteral("soffice"),
          {"-env:UserInstallation=" + profile, QStringLiteral("--headless"),
           QStringLiteral("--convert-to"), QStringLiteral("pdf"), QStringLiteral("--outdir"),
           outDir, document});
  if (!p.waitForFinished(120000)) {
    p.kill();
    p.waitForFinished();
    return {};
  }
  const QString pdf = outDir + "/" + QFileInfo(document).completeBaseName() + ".pdf";
  return QFileInfo::exists(pdf) ? pdf : QString();
}

// The position after the last of `parts` when each is found after the one before,
// -1 at the first that is not.
inline int FindInOrder(const QString& text, const QStringList& parts, QString* missing) {
  int at = 0;
  for (const QString& part : parts) {
    const int found = text.indexOf(part, at);
    if (found < 0) {
      if (missing) *missing = part;
      return -1;
    }
    at = found + static_cast<int>(part.size());
  }
  return at;
}

inline QStringList Words(const QString& text) {
  return text.split(QRegularExpression(QStringLiteral("\\s+")), Qt::SkipEmptyParts);
}

}  // namespace docxcheck
