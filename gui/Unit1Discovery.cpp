// The workgroup listing and the start-up workgroup: the window asks the
// listing engine (discovery::Listing, made in assembly.cpp), which keeps the
// sources running and reads the browse list off this thread.
#include <QLineEdit>

#include "TListView.h"
#include "Unit1.h"
#include "Unit1Text.h"
#include "listing.h"
#include "peer_text.h"

namespace {

// What the sources said of a computer, for its tooltip: the peer's text as
// plain text (never markup), cleaned as the command line cleans it
// (peer_text.h), each line cut, at most a few hundred characters.
QString DetailsTip(const discovery::Details& d) {
  constexpr size_t kMaxLine = 64;
  constexpr qsizetype kMaxTip = 600;
  QStringList lines;
  const auto add = [&lines](const char* label, const std::string& utf8) {
    if (utf8.empty()) return;
    const std::string text = peertext::Line(utf8, kMaxLine);
    lines << QString::fromUtf8(label) + QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
  };
  add("メーカー: ", d.manufacturer);
  add("モデル: ", d.model);
  add("デバイス名: ", d.friendlyName);
  add("URL: ", d.presentationUrl);
  add("MAC: ", d.mac);
  QStringList names;
  for (const discovery::Details::NetbiosName& n : d.netbiosNames)
    names << Text(n.name) + QStringLiteral("<%1>").arg(n.type, 2, 16, QLatin1Char('0')).toUpper() +
                 (n.group ? QStringLiteral("(G)") : QString());
  if (!names.isEmpty()) add("NetBIOS名: ", names.join(QLatin1Char(' ')).toStdString());
  if (lines.isEmpty()) return {};
  // Plain text: Qt takes a tooltip for markup only by its first line, which
  // is ours, so a name such as "<b>x</b>" shows as written (and plain text
  // is never wrapped).
  QString tip = QStringLiteral("機器情報");
  for (const QString& line : lines) {
    if (tip.size() + line.size() > kMaxTip) break;
    tip += QLatin1Char('\n') + line;
  }
  return tip;
}

}  // namespace

QString TForm1::ListComputers() {
  const base::Result<discovery::Listing::Found> result = deps_.engines->listing.List(
      Bytes(workgroupname->text()),
      [this](const std::string& caption) { ListView3->AddRow(Text(caption), {QString()}); });
  computerDetails_.clear();
  if (!result) {
    deps_.ui->MessageBox(QStringLiteral("異常終了"));
    return Text(result.failure().text);
  }
  std::map<std::string, int> rows;
  for (int row = 0; row < ListView3->RowCount(); ++row) rows.emplace(Bytes(ListView3->Caption(row)), row);
  for (const discovery::MergedComputer& c : result->computers) {
    const QString tip = DetailsTip(c.details);
    if (tip.isEmpty()) continue;
    computerDetails_[c.name] = tip;
    const auto row = rows.find(c.name);
    if (row == rows.end()) continue;
    for (int column = 0; column < ListView3->columnCount(); ++column)
      ListView3->topLevelItem(row->second)->setToolTip(column, tip);
  }
  return result->status;
}

std::string TForm1::StartupWorkgroup() { return deps_.engines->listing.StartupWorkgroup(); }
