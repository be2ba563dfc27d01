#include "cli_text.h"

#include <QList>
#include <QString>
#include <algorithm>

#include "peer_text.h"

namespace cli {

namespace {

bool Wide(char32_t cp) {
  return (cp >= 0x1100 && cp <= 0x115f) || (cp >= 0x2e80 && cp <= 0xa4cf && cp != 0x303f) ||
         (cp >= 0xac00 && cp <= 0xd7a3) || (cp >= 0xf900 && cp <= 0xfaff) || (cp >= 0xfe30 && cp <= 0xfe4f) ||
         (cp >= 0xff00 && cp <= 0xff60) || (cp >= 0xffe0 && cp <= 0xffe6) || (cp >= 0x20000 && cp <= 0x3fffd);
}

size_t Width(const std::string& utf8) {
  size_t width = 0;
  for (const char32_t cp : QString::fromUtf8(utf8.data(), static_cast<qsizetype>(utf8.size())).toUcs4())
    width += Wide(cp) ? 2 : 1;
  return width;
}

}  // namespace

std::string Printable(const std::string& utf8, size_t maxChars) { return peertext::Line(utf8, maxChars); }

std::string Table(const std::vector<std::vector<std::string>>& rows) {
  std::vector<size_t> widths;
  for (const auto& row : rows) {
    if (widths.size() < row.size()) widths.resize(row.size(), 0);
    for (size_t i = 0; i < row.size(); ++i) widths[i] = std::max(widths[i], Width(row[i]));
  }
  std::string out;
  for (const auto& row : rows) {
    std::string line;
    for (size_t i = 0; i < row.size(); ++i) {
      line += row[i];
      if (i + 1 < row.size()) line.append(widths[i] - Width(row[i]) + 2, ' ');
    }
    while (!line.empty() && line.back() == ' ') line.pop_back();
    out += line + '\n';
  }
  return out;
}

}  // namespace cli
