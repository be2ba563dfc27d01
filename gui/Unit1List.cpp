// The computer list: its file, the workgroup listing and the manual add.
#include <QKeyEvent>
#include <memory>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QScopedValueRollback>

#include "TListView.h"
#include "Unit1.h"
#include "Unit1Text.h"
#include "listlocation.h"
#include "netresources.h"
#include "pclist.h"

const std::string& TForm1::ListSource() const { return listSession_.Source(); }

base::Status TForm1::LoadPcList(bool* rowsLoaded) {
  inimemo->clear();
  const base::Result<std::optional<std::string>> read = pclist::ReadListFile(ListSource());
  if (!read) return read.failure();
  const std::optional<std::string>& file = *read;
  if (!file) return base::Ok();
  const std::vector<std::string> lines = pclist::SplitLines(*file);
  QString memo;
  for (const std::string& line : lines) {
    memo += Text(line);
    memo += QLatin1Char('\n');
  }
  inimemo->setPlainText(memo);

  const pclist::ParseResult parsed = pclist::Parse(*file);
  QList<QStringList> rows;
  rows.reserve(static_cast<qsizetype>(parsed.names.size()));
  for (const std::string& name : parsed.names) rows.append({Text(name), QString()});
  ListView3->AddRows(rows);
  *rowsLoaded = true;
  if (parsed.failure) return *parsed.failure;
  return base::Ok();
}

base::Status TForm1::SavePcList() {
  inimemo->clear();
  std::vector<std::string> names;
  names.reserve(static_cast<size_t>(ListView3->RowCount()));
  for (int row = 0; row < ListView3->RowCount(); ++row) names.push_back(Bytes(ListView3->Caption(row)));
  const std::string text = pclist::Format(names);
  inimemo->setPlainText(Text(text));
  return listSession_.Save(text);
}

void TForm1::Button5Click() {
  // Ignored while the tree is built (its run reads the rows) and while a
  // listing is already running inside whose pump this click arrived.
  if (buildingTree_ || listingWorkgroup_) return;
  const QScopedValueRollback<bool> running(listingWorkgroup_, true);

  SetStatus(QStringLiteral("処理中"));
  ListView3->clear();
  deps_.ui->ProcessMessages();
  SetStatus(ListComputers());
}

void TForm1::Button11Click() {
  const std::string name = Bytes(Edit15->text());
  for (int row = 0; row < ListView3->RowCount(); ++row) {
    if (Bytes(ListView3->Caption(row)) == name) {
      deps_.ui->MessageBox(QStringLiteral("同名のコンピュータ名が登録されています"));
      return;
    }
  }
  // A second press while the check runs is ignored; the row is added after
  // the check, from a thread of its own.
  if (addingComputer_) return;
  addingComputer_ = true;
  const QString caption = Edit15->text();
  deps_.engines->calls.Run(
      [this, name, caption] {
        auto address = std::make_shared<base::Result<std::string>>(netlib::AddressIfReachable(library_, name));
        return std::function<void()>([this, caption, address] {
          addingComputer_ = false;
          if (!*address) return;
          for (int row = 0; row < ListView3->RowCount(); ++row)
            if (ListView3->Caption(row) == caption) return;  // added meanwhile by another way
          ListView3->AddRow(caption, {Text(**address)});
        });
      },
      [this] { addingComputer_ = false; });
}

bool TForm1::Edit15KeyPress(QKeyEvent* event) {
  // Typed a-z become A-Z; pasted text does not pass here.
  const QString typed = event->text();
  if (typed.size() != 1 || typed[0] < QLatin1Char('a') || typed[0] > QLatin1Char('z')) return false;
  if (event->modifiers() & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier)) return false;
  Edit15->insert(typed.toUpper());
  return true;
}
