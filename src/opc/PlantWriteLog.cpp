#include "opc/PlantWriteLog.h"

#include <fcntl.h>
#include <unistd.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>

#include "data/NumberFormat.h"
#include "data/TextFile.h"

const char* const PlantWriteLogHeader =
    "Čas\tStrežnik\tTočka\tPrejšnja vrednost\tNova vrednost\tZahteval\tIzid";

const char* PlantWriteSourceName(PlantWriteSource source) {
  switch (source) {
    case PlantWriteSource::Experiment:
      return "eksperiment";
    case PlantWriteSource::ControllerLoad:
      return "nalaganje regulatorja";
    case PlantWriteSource::Undo:
      return "povrnitev";
    case PlantWriteSource::CommandLine:
      return "ukazna vrstica";
  }
  return "";
}

std::string ServerNameForLog(const std::string& server) {
  const auto scheme = server.find("://");
  if (scheme == std::string::npos) return server;
  const auto hostStart = scheme + 3;
  const auto pathStart = server.find('/', hostStart);
  const auto at = server.rfind('@', pathStart == std::string::npos ? server.size() : pathStart);
  if (at == std::string::npos || at < hostStart) return server;
  return server.substr(0, hostStart) + server.substr(at + 1);
}

std::string DefaultPlantWriteLogPath() { return UserDataHome() + "/Vor Tuner/plant-writes.log"; }

std::string ValueForLog(double value) { return FormatGeneral(value, 17, '.'); }

std::string ValueForLog(double value, OpcDataType type) {
  if (type != OpcDataType::Float || !std::isfinite(value)) return ValueForLog(value);
  const float held = static_cast<float>(value);
  for (int digits = 6; digits < 9; ++digits) {
    const std::string text = FormatGeneral(static_cast<double>(held), digits, '.');
    if (std::strtof(text.c_str(), nullptr) == held) return text;
  }
  return FormatGeneral(static_cast<double>(held), 9, '.');
}

namespace {

std::string Now() {
  using namespace std::chrono;
  const auto now = system_clock::now();
  const std::time_t t = system_clock::to_time_t(now);
  const auto ms = duration_cast<milliseconds>(now.time_since_epoch()).count() % 1000;
  std::tm local{};
  localtime_r(&t, &local);
  char text[64];
  std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02d.%03d", local.tm_year + 1900,
                local.tm_mon + 1, local.tm_mday, local.tm_hour, local.tm_min, local.tm_sec,
                static_cast<int>(ms));
  return text;
}

// Tabs and line ends inside a field would split the line.
std::string Field(std::string s) {
  for (char& c : s)
    if (c == '\t' || c == '\r' || c == '\n') c = ' ';
  return s;
}

}  // namespace

void PlantWriteLog::Append(const PlantWriteLogEntry& e) const {
  namespace fs = std::filesystem;
  const fs::path path(path_);
  std::error_code error;
  if (path.has_parent_path()) fs::create_directories(path.parent_path(), error);
  const bool fresh = !fs::exists(path, error);
  if (fresh) {
    // Created for the user alone: the plant's record is nobody else's to read.
    const int fd = ::open(path_.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0600);
    if (fd >= 0) ::close(fd);
  }
  std::ofstream out(path, std::ios::binary | std::ios::app);
  if (fresh) out << Utf8Bom << PlantWriteLogHeader << "\r\n";  // UTF-8 throughout
  out << Field(e.Time.empty() ? Now() : e.Time) << '\t' << Field(ServerNameForLog(e.Server)) << '\t'
      << Field(e.Item) << '\t' << Field(e.Previous) << '\t' << Field(e.Value) << '\t'
      << PlantWriteSourceName(e.Source) << '\t' << Field(e.Outcome) << "\r\n";
  out.flush();
  if (!out) throw FileError("Dnevnika zapisov v obrat ni mogoče pisati: '" + path_ + "'");
}

std::vector<std::string> PlantWriteLog::Lines() const {
  std::error_code error;
  if (!std::filesystem::exists(path_, error)) return {};
  std::vector<std::string> lines = ReadTextLines(path_);
  if (!lines.empty()) lines.erase(lines.begin());
  return lines;
}
