// The share tree and opening a computer or share in the file manager.
#include <QTreeWidget>

#include "TListView.h"
#include "Unit1.h"
#include "Unit1Text.h"
#include "launcher.h"
#include "share_tree.h"

namespace {

// The last (entry length - node text length - 3) bytes of the entry: for
// "\\" + node + "\" + share exactly the share name.
std::string ShareText(const std::string& entry, const std::string& nodeText) {
  const long long count = static_cast<long long>(entry.size()) - static_cast<long long>(nodeText.size()) - 3;
  if (count <= 0) return {};
  if (count >= static_cast<long long>(entry.size())) return entry;
  return entry.substr(entry.size() - static_cast<size_t>(count));
}

// Each node keeps its name twice: the code page 932 bytes the command line
// is made of, and the text the peer gave it (UTF-8), which it shows and the
// file manager's URL is built from.
constexpr int kBytesRole = Qt::UserRole;
constexpr int kTextRole = Qt::UserRole + 1;

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
  buildingTree_ = deps_.shareTree->Start(std::move(names), std::move(callbacks));
}

void TForm1::AddTreeRow(const netinfo::ShareTreeRow& result) {
  const int row = static_cast<int>(result.row);
  // A failed lookup still fills an empty column with its reason; a filled
  // column is left alone.
  if (row < ListView3->RowCount() && Bytes(ListView3->Caption(row)) == result.name && ListView3->SubItem(row).isEmpty())
    ListView3->SetSubItem(row, Text(result.address.text));
  if (!result.listed) {
    // A reason that lies with the program (its SMB helper) stands on the
    // status line while the box does.
    if (!result.cause.empty()) SetStatus(QString::fromStdString(result.cause));
    // Modal: the rows after this one go on being worked on while it stands.
    deps_.ui->MessageBox(Text(result.name) + QStringLiteral("のリソースを取得できません"));
    return;
  }
  const std::string nodeText = cp932::RemoveBackslashes("\\\\" + result.name);
  // The computer as its row names it; each share as its server does.
  const std::string nodeUtf8 = cp932::ToUtf8(nodeText);
  QTreeWidgetItem* computer = Node(new QTreeWidgetItem(TreeView1), nodeText, nodeUtf8);
  computer->setIcon(0, ImageList1.value(0));
  if (const auto details = computerDetails_.find(result.name); details != computerDetails_.end())
    computer->setToolTip(0, details->second);
  for (const netinfo::NamedResource& entry : result.shares) {
    QTreeWidgetItem* share =
        Node(new QTreeWidgetItem(computer), ShareText(entry.name, nodeText), ShareText(entry.text, nodeUtf8));
    share->setIcon(0, ImageList1.value(1));
  }
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
