// The share tree and opening a computer or share in the file manager.
#include <QMenu>
#include <QTreeWidget>

#include "TListView.h"
#include "Unit1.h"
#include "causes.h"
#include "Unit1Text.h"
#include "launcher.h"
#include "share_tree.h"
#include "smb1_consent.h"

namespace {

// Each node keeps its name twice: the code page 932 bytes the command line
// is made of, and the text the peer gave it (UTF-8), which it shows and the
// file manager's URL is built from.
constexpr int kBytesRole = Qt::UserRole;
constexpr int kTextRole = Qt::UserRole + 1;
// A computer that could not be listed keeps its cause.
constexpr int kCauseRole = Qt::UserRole + 2;

QTreeWidgetItem* Node(QTreeWidgetItem* item, const std::string& bytes, const std::string& text) {
  item->setText(0, QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())));
  item->setData(0, kBytesRole, QByteArray::fromStdString(bytes));
  item->setData(0, kTextRole, QByteArray::fromStdString(text));
  return item;
}

// A node's name as bytes or as text; a node that keeps neither gives its
// caption.
std::string Role(const QTreeWidgetItem* item, int role) {
  const QVariant value = item->data(0, role);
  if (value.isValid()) return value.toByteArray().toStdString();
  return role == kBytesRole ? Bytes(item->text(0)) : item->text(0).toUtf8().toStdString();
}

}  // namespace

void TForm1::Button1Click() {
  // While the tree is built, Button1 and Button5 are ignored: a second build
  // would rebuild the tree under this one, a listing would replace its rows.
  // So is Button1 while a listing waits: its rows are not all there.
  if (buildingTree_ || listingWorkgroup_) return;
  TreeView1->clear();
  SetStatus(QStringLiteral("処理中"));
  std::vector<std::string> names;
  for (int row = 0; row < ListView3->RowCount(); ++row) names.push_back(Bytes(ListView3->Caption(row)));
  // The computers are worked on by the share tree's workers; each one's
  // result comes back here in row order, and the window goes on meanwhile.
  netinfo::ShareTree::Callbacks callbacks;
  callbacks.row = [this](const netinfo::ShareTreeRow& result) { Guarded([&] { AddTreeRow(result); }); };
  callbacks.done = [this] {
    buildingTree_ = false;
    Guarded([this] {
      SetStatus(QStringLiteral("終了"));
      TreeView1->expandAll();
    });
  };
  buildingTree_ = deps_.engines->shareTree.Start(std::move(names), std::move(callbacks));
}

void TForm1::AddTreeRow(const netinfo::ShareTreeRow& result) {
  const int row = static_cast<int>(result.row);
  // A failed lookup still fills an empty column with its reason; a filled
  // column is left alone.
  if (row < ListView3->RowCount() && Bytes(ListView3->Caption(row)) == result.name && ListView3->SubItem(row).isEmpty())
    ListView3->SetSubItem(row, Text(result.address ? result.address->address : result.address.failure().text));
  const std::string nodeText = cp932::RemoveBackslashes("\\\\" + result.name);
  // The computer as its row names it; each share as its server does.
  const std::string nodeUtf8 = cp932::ToUtf8(nodeText);
  if (!result.shares) {
    // Why, and what to do, stand on the status line while the box does, and
    // stay as the tooltip of the computer's node, shown greyed.
    const netinfo::FailureCause cause = netinfo::CauseOf(result.shares.failure());
    const QString why = FailureText(cause);
    SetStatus(why);
    QTreeWidgetItem* failed = Node(new QTreeWidgetItem(TreeView1), nodeText, nodeUtf8);
    failed->setIcon(0, ImageList1.value(0));
    failed->setForeground(0, TreeView1->palette().brush(QPalette::Disabled, QPalette::Text));
    failed->setToolTip(0, why);
    failed->setData(0, kCauseRole, static_cast<int>(cause.cause));
    // Modal: the rows after this one go on being worked on while it stands.
    deps_.ui->MessageBox(Text(result.name) + QStringLiteral("のリソースを取得できません"));
    return;
  }
  QTreeWidgetItem* computer = Node(new QTreeWidgetItem(TreeView1), nodeText, nodeUtf8);
  computer->setIcon(0, ImageList1.value(0));
  if (const auto details = computerDetails_.find(result.name); details != computerDetails_.end())
    computer->setToolTip(0, details->second);
  for (const netinfo::NamedResource& entry : *result.shares) {
    QTreeWidgetItem* share = Node(new QTreeWidgetItem(computer), netinfo::ShareName(entry.name, nodeText),
                                  netinfo::ShareName(entry.text, nodeUtf8));
    share->setIcon(0, ImageList1.value(1));
  }
}

QString TForm1::FailureText(const netinfo::FailureCause& failure) const {
  const QString what = causes::What(failure.cause, failure.detail);
  const QString todo = causes::ToDo(failure.cause, true, deps_.smb1Offered);
  return what + QStringLiteral("。") + todo;
}

void TForm1::TreeView1ContextMenu(const QPoint& at) {
  QTreeWidgetItem* node = TreeView1->itemAt(at);
  if (!node) return;
  const QTreeWidgetItem* computer = node->parent() ? node->parent() : node;
  const std::string name = Role(computer, kBytesRole);
  QMenu menu(this);
  QAction* diagnose = menu.addAction(QStringLiteral("接続を診断"));
  diagnose->setEnabled(static_cast<bool>(deps_.diagnose) && !diagnosing_);
  QAction* withdraw = nullptr;
  if (deps_.consents && deps_.consents->Kept(name)) withdraw = menu.addAction(QStringLiteral("SMB1 の許可を取り消す"));
  const QAction* chosen = menu.exec(TreeView1->viewport()->mapToGlobal(at));
  if (chosen == diagnose) DiagnoseComputer(name);
  if (withdraw && chosen == withdraw) {
    const base::Status saved = deps_.consents->Withdraw(name);
    SetStatus(saved ? Text(name) + QStringLiteral(" の SMB1 の許可を取り消しました") : Text(saved.failure().text));
  }
}

void TForm1::DiagnoseComputer(const std::string& name) {
  if (diagnosing_ || !deps_.diagnose) return;
  diagnosing_ = true;
  SetStatus(QStringLiteral("接続を診断しています"));
  // Every layer is bounded (the name lookup, the probe, the logon's
  // requests); the dialog opens on the window's thread when they are done.
  deps_.engines->calls.Run(
      [this, name, diagnose = deps_.diagnose] {
        auto diagnosis = std::make_shared<netinfo::Diagnosis>(diagnose(name));
        return std::function<void()>([this, diagnosis] {
          diagnosing_ = false;
          const QStringList lines = causes::DiagnosisLines(*diagnosis, true, deps_.smb1Offered);
          SetStatus(lines.last());
          deps_.ui->ShowReport(QStringLiteral("接続の診断"), QStringLiteral("\\\\") + Text(diagnosis->name) +
                                                                 QStringLiteral("\n") + lines.join(QLatin1Char('\n')));
        });
      },
      [this] { diagnosing_ = false; });
}

void TForm1::TreeView1DblClick() {
  const QList<QTreeWidgetItem*> selected = TreeView1->selectedItems();
  if (selected.isEmpty()) return;
  const QTreeWidgetItem* node = selected.first();
  const QTreeWidgetItem* computer = node->parent() ? node->parent() : node;
  const std::string shareBytes = Role(node, kBytesRole), shareText = Role(node, kTextRole);
  const bool isShare = computer != node;
  const std::string path = UncPath(Role(computer, kBytesRole), isShare ? &shareBytes : nullptr);
  const std::string text = UncPath(Role(computer, kTextRole), isShare ? &shareText : nullptr);
  deps_.ui->Launch(ExplorerCommandLine(path), text);
}
