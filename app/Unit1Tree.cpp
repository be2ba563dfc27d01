// The share tree and opening a computer or share in the file manager.
#include <QScopedValueRollback>
#include <QTreeWidget>

#include "TListView.h"
#include "Unit1.h"
#include "Unit1Text.h"
#include "launcher.h"
#include "netresources.h"

namespace {

// The last (entry length - node text length - 3) bytes of the entry: for
// "\\" + node + "\" + share exactly the share name.
std::string ShareText(const std::string& entry, const std::string& nodeText) {
  const long long count = static_cast<long long>(entry.size()) - static_cast<long long>(nodeText.size()) - 3;
  if (count <= 0) return {};
  if (count >= static_cast<long long>(entry.size())) return entry;
  return entry.substr(entry.size() - static_cast<size_t>(count));
}

}  // namespace

void TForm1::Button1Click() {
  // While the tree is built, Button1 and Button5 are ignored: a nested run
  // would rebuild the tree under this one or remove the rows it reads. So is
  // Button1 while a listing waits: its rows are not all there, and the
  // provider is reading the browse list on a worker.
  if (buildingTree_ || listingWorkgroup_) return;
  const QScopedValueRollback<bool> building(buildingTree_, true);

  TreeView1->clear();
  SetStatus(QStringLiteral("処理中"));
  const int rows = ListView3->RowCount();
  for (int row = 0; row < rows; ++row) {
    netinfo::ResourceList list;  // this row's own list
    const std::string caption = Bytes(ListView3->Caption(row));
    netlib::ConvBuffer<512> buffer;
    buffer.SetInput(caption);
    netinfo::NameSource source = netinfo::NameSource::kSystem;
    const uint16_t resolved = netlib::CallNameToIp(library_, buffer, &source);
    if (ListView3->SubItem(row).isEmpty()) ListView3->SetSubItem(row, Text(buffer.Output()));

    const std::string unc = "\\\\" + caption;
    bool opened = false;
    {
      // The provider takes this row's address as just found instead of
      // resolving the name again.
      const QScopedValueRollback<std::optional<HandedOver>> handOver(
          handedOver_, HandedOver{caption, resolved == 0 ? std::optional(netinfo::ResolvedHost{buffer.Output(), source})
                                                         : std::nullopt});
      opened = netinfo::EnumNetResources(*deps_.provider, unc, std::string(), list);
    }
    if (opened && resolved == 0) {
      const std::string nodeText = cp932::removeBackslashes(unc);
      auto* computer = new QTreeWidgetItem(TreeView1, {Text(nodeText)});
      computer->setIcon(0, ImageList1.value(0));
      for (const std::string& entry : list) {
        auto* share = new QTreeWidgetItem(computer, {Text(ShareText(entry, nodeText))});
        share->setIcon(0, ImageList1.value(1));
      }
      deps_.ui->ProcessMessages();
    } else {
      deps_.ui->MessageBox(Text(caption) + QStringLiteral("のリソースを取得できません"));
    }
  }
  SetStatus(QStringLiteral("終了"));
  TreeView1->expandAll();
}

namespace {

// Each node keeps its name twice: the code page 932 bytes the command line
// is made of, and the text the peer gave it (UTF-8), which it shows and the
// file manager's URL is built from.
constexpr int kBytesRole = Qt::UserRole;
constexpr int kTextRole = Qt::UserRole + 1;

// A node's name as bytes or as text; a node that keeps neither gives its
// caption.
std::string Role(const QTreeWidgetItem* item, int role) {
  const QVariant value = item->data(0, role);
  if (value.isValid()) return value.toByteArray().toStdString();
  return role == kBytesRole ? Bytes(item->text(0)) : item->text(0).toUtf8().toStdString();
}

}  // namespace

void TForm1::TreeView1DblClick() {
  const QList<QTreeWidgetItem*> selected = TreeView1->selectedItems();
  if (selected.isEmpty()) return;
  const QTreeWidgetItem* node = selected.first();
  std::string path = "\\\\";
  std::string text = path;
  if (const QTreeWidgetItem* parent = node->parent()) {
    path += Role(parent, kBytesRole) + "\\";
    text += Role(parent, kTextRole) + "\\";
  }
  path += Role(node, kBytesRole);
  text += Role(node, kTextRole);
  deps_.ui->Launch(ExplorerCommandLine(path), text);
}
