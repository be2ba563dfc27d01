#include "peer_text.h"

#include <QList>
#include <QString>

namespace peertext {

namespace {

// What may reorder, hide or end a line, or drive a terminal.
bool Hidden(char32_t cp) {
  switch (QChar::category(cp)) {
    case QChar::Other_Control:
    case QChar::Other_Format:
    case QChar::Separator_Line:
    case QChar::Separator_Paragraph:
      return true;
    default:
      return false;
  }
}

}  // namespace

std::string Line(const std::string& utf8, size_t maxChars) {
  if (maxChars == 0) return {};
  // Invalid UTF-8 decodes to U+FFFD here.
  const QList<uint> points = QString::fromUtf8(utf8.data(), static_cast<qsizetype>(utf8.size())).toUcs4();
  std::u32string out;
  for (const uint cp : points) {
    if (out.size() == maxChars) {
      out.back() = U'\u2026';
      break;
    }
    out.push_back(Hidden(cp) ? U'\ufffd' : static_cast<char32_t>(cp));
  }
  return QString::fromUcs4(out.data(), static_cast<qsizetype>(out.size())).toUtf8().toStdString();
}

}  // namespace peertext
