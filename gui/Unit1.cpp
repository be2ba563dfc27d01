#include "Unit1.h"
#include "causes.h"
#include "smb1_consent.h"

#include <QApplication>
#include <QEvent>
#include <QGroupBox>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSignalBlocker>
#include <QStatusBar>
#include <QStyle>
#include <QSvgRenderer>
#include <QTimer>
#include <QToolButton>
#include <QTreeWidget>
#include <utility>

#include "TListView.h"
#include "Unit1Text.h"
#include "Unit2.h"
#include "assembly.h"
#include "cp932validator.h"
#include "formlook.h"
#include "interfaces.h"
#include "netresources.h"
#include "pclist.h"
#include "prompt_relay.h"
#include "share_tree.h"

namespace {

// The window's icon: the program's scalable icon, the one its desktop entry
// shows, built into the program and drawn at the sizes title bars and task
// switchers ask for.
QIcon MakeWindowIcon() {
  QSvgRenderer svg(QStringLiteral(":/mirelka.svg"));
  QIcon icon;
  if (!svg.isValid()) return icon;
  for (int size : {16, 22, 24, 32, 48, 64, 128, 256}) {
    QPixmap pixmap(size, size);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    svg.render(&p);
    p.end();
    icon.addPixmap(pixmap);
  }
  return icon;
}

QIcon Scaled(QStyle::StandardPixmap which, const QWidget* w) {
  return QIcon(w->style()->standardIcon(which).pixmap(16, 16));
}

QGroupBox* Frame(QWidget* parent, const char* name, const QString& title, QRect geometry) {
  auto* box = new QGroupBox(title, parent);
  box->setObjectName(name);
  box->setGeometry(geometry);
  return box;
}

QLabel* Label(QWidget* parent, const char* name, const QString& text, QRect geometry) {
  auto* label = new QLabel(text, parent);
  label->setObjectName(name);
  label->setGeometry(geometry);
  return label;
}

QLineEdit* Field(QWidget* parent, const char* name, QRect geometry) {
  auto* edit = new QLineEdit(parent);
  edit->setObjectName(name);
  edit->setGeometry(geometry);
  edit->setValidator(new Cp932Validator(edit));
  return edit;
}

QPushButton* Button(QWidget* parent, const char* name, const QString& text, QRect geometry) {
  auto* button = new QPushButton(text, parent);
  button->setObjectName(name);
  button->setGeometry(geometry);
  button->setAutoDefault(false);
  return button;
}

}  // namespace

TForm1::TForm1(const TForm1Deps& deps, QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                          Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint),
      deps_(deps),
      library_(deps.engines->library),
      watch_(library_),
      listSession_(deps.listFilePath, deps.oldListFilePath),
      mailbox_(new base::Mailbox(this)) {
  deps_.engines->calls.SetGuard([this](const std::function<void()>& done) { Guarded(done); });
  // The window speaks Japanese whatever the locale: its causes' sentences
  // come through the translation.
  causes::InstallTranslation(true);
  CreateControls();
  WireEvents();
  Guarded([this] { FormCreate(); });
}

TForm1::~TForm1() { FormDestroy(); }

void TForm1::CreateControls() {
  setObjectName("Form1");
  setWindowTitle(QStringLiteral("Mirelka β1"));
  setWindowIcon(MakeWindowIcon());
  setFixedSize(508, 372);
  SetFormLook(this);
  CentreOnScreen(this);

  // Made in this order, which is also the order they are stacked in.
  CreateNetworkBox();
  CreateWorkgroupBox();
  inimemo = new QPlainTextEdit(this);
  inimemo->setObjectName("inimemo");
  inimemo->setGeometry(512, 16, 137, 201);
  CreateConversionBox();
  CreateStatusBar();

  NameForScreenReaders();
  // Tab order inside the window, then inside each frame.
  const QList<QWidget*> order = {ListView1, Edit14,    workgroupname, Button5, ListView3, Edit15,  Button11,
                                 Button1,   TreeView1, inimemo,       Edit16,  Edit17,    Button9, Button10};
  for (int i = 1; i < order.size(); ++i) setTabOrder(order[i - 1], order[i]);

  FitCaptions(this);
}

void TForm1::CreateNetworkBox() {
  GroupBox6 = Frame(this, "GroupBox6", QStringLiteral("ネットワーク情報"), {8, 8, 497, 97});
  Label4 = Label(GroupBox6, "Label4", QStringLiteral("コンピュータ名"), {336, 10, 73, 12});
  Label5 = Label(GroupBox6, "Label5", QStringLiteral("ワークグループ名"), {336, 48, 91, 12});
  ListView1 = new TListView({QStringLiteral("IPアドレス"), QStringLiteral("サブネットマスク"), QStringLiteral("種類")},
                            GroupBox6);
  ListView1->setObjectName("ListView1");
  ListView1->setGeometry(8, 16, 321, 73);
  Edit14 = Field(GroupBox6, "Edit14", {336, 24, 153, 20});
  workgroupname = Field(GroupBox6, "workgroupname", {336, 64, 153, 20});
}

void TForm1::CreateWorkgroupBox() {
  GroupBox7 = Frame(this, "GroupBox7", QStringLiteral("ワークグループ所属PC"), {8, 112, 497, 233});
  SpeedButton1 = new QToolButton(GroupBox7);
  SpeedButton1->setObjectName("SpeedButton1");
  SpeedButton1->setText(QStringLiteral("接続確認"));
  SpeedButton1->setCheckable(true);
  SpeedButton1->setAutoExclusive(false);  // group 1 with all-up allowed: a lone toggle
  SpeedButton1->setFocusPolicy(Qt::NoFocus);
  SpeedButton1->setGeometry(72, 16, 81, 22);
  Button5 = Button(GroupBox7, "Button5", QStringLiteral("実行"), {8, 16, 57, 25});
  ListView3 = new TListView({QStringLiteral("コンピュータ名"), QStringLiteral("IPアドレス")}, GroupBox7);
  ListView3->setObjectName("ListView3");
  ListView3->setGeometry(8, 48, 241, 177);
  Edit15 = Field(GroupBox7, "Edit15", {168, 16, 89, 20});
  Button11 = Button(GroupBox7, "Button11", QStringLiteral("追加"), {256, 16, 41, 25});
  Button1 = Button(GroupBox7, "Button1", QStringLiteral("リソース展開"), {304, 16, 75, 25});
  TreeView1 = new QTreeWidget(GroupBox7);
  TreeView1->setObjectName("TreeView1");
  TreeView1->setGeometry(256, 48, 233, 177);
  TreeView1->setHeaderHidden(true);
  TreeView1->setColumnCount(1);
  TreeView1->setIndentation(19);
  TreeView1->setEditTriggers(QAbstractItemView::NoEditTriggers);
  TreeView1->setSelectionMode(QAbstractItemView::SingleSelection);
  TreeView1->setIconSize(QSize(16, 16));
  ImageList1 = {Scaled(QStyle::SP_ComputerIcon, this), Scaled(QStyle::SP_DirIcon, this)};
}

void TForm1::CreateConversionBox() {
  GroupBox8 = Frame(this, "GroupBox8", QStringLiteral("名前<->IP変換"), {8, 352, 225, 105});
  Label6 = Label(GroupBox8, "Label6", QStringLiteral("名前"), {8, 24, 24, 12});
  Label7 = Label(GroupBox8, "Label7", QStringLiteral("IP"), {8, 72, 10, 12});
  Edit16 = Field(GroupBox8, "Edit16", {40, 24, 177, 20});
  Edit17 = Field(GroupBox8, "Edit17", {32, 72, 185, 20});
  Button9 = Button(GroupBox8, "Button9", QStringLiteral("↑↓"), {56, 48, 65, 25});
  Button9->setFont(FormFont(21));
  Button10 = Button(GroupBox8, "Button10", QStringLiteral("clear"), {152, 48, 57, 25});
}

void TForm1::CreateStatusBar() {
  StatusBar1 = new QStatusBar(this);
  StatusBar1->setObjectName("StatusBar1");
  StatusBar1->setSizeGripEnabled(false);
  StatusBar1->setGeometry(0, 349, 508, 23);
  StatusBar1->setAutoFillBackground(true);  // covers what lies below its top edge
  StatusPanel0 = new QLabel(StatusBar1);
  StatusPanel0->setObjectName("StatusPanel0");
  // Names from the network or the list file reach the status line: shown as
  // text, never as markup.
  StatusPanel0->setTextFormat(Qt::PlainText);
  StatusBar1->addWidget(StatusPanel0, 1);  // the last panel spans the whole bar
}

void TForm1::NameForScreenReaders() {
  // Frames, labels and buttons read their captions; a field or a list reads
  // the caption that stands for it.
  const std::pair<QWidget*, const char*> spoken[] = {
      {ListView1, "ネットワーク情報"},
      {Edit14, "コンピュータ名"},
      {workgroupname, "ワークグループ名"},
      {ListView3, "ワークグループ所属PC"},
      {Edit15, "追加するコンピュータ名"},
      {TreeView1, "リソース"},
      {inimemo, "リストファイル"},
      {Edit16, "名前"},
      {Edit17, "IP"},
      {Button9, "名前<->IP変換"},
      {StatusBar1, "状態"},
  };
  for (const auto& [widget, name] : spoken) widget->setAccessibleName(QString::fromUtf8(name));
}

void TForm1::WireEvents() {
  // Every handler runs guarded: nothing it throws reaches the event loop.
  const auto on = [this](void (TForm1::*handler)()) {
    return [this, handler] { Guarded([&] { (this->*handler)(); }); };
  };
  connect(Button5, &QPushButton::clicked, this, on(&TForm1::Button5Click));
  connect(Button11, &QPushButton::clicked, this, on(&TForm1::Button11Click));
  connect(Button1, &QPushButton::clicked, this, on(&TForm1::Button1Click));
  connect(Button9, &QPushButton::clicked, this, on(&TForm1::Button9Click));
  connect(Button10, &QPushButton::clicked, this, on(&TForm1::Button10Click));
  // toggled, so a click, a key or an accessibility action all start or stop
  // the watch; the window sets the button up from code with its signals
  // blocked, which runs no handler.
  connect(SpeedButton1, &QToolButton::toggled, this, on(&TForm1::SpeedButton1Click));
  repeatping = std::make_unique<base::IntervalTimer>(deps_.clock ? *deps_.clock : base::RealClock(),
                                                     on(&TForm1::repeatpingTimer));
  repeatping->setInterval(5000);
  // Single expand: the selected node opens, the one that lost the selection closes.
  connect(TreeView1, &QTreeWidget::currentItemChanged, this,
          [this](QTreeWidgetItem* current, QTreeWidgetItem* previous) {
            Guarded([&] {
              if (previous && previous != current) previous->setExpanded(false);
              if (current) current->setExpanded(true);
            });
          });
  TreeView1->viewport()->installEventFilter(this);
  TreeView1->setContextMenuPolicy(Qt::CustomContextMenu);
  connect(TreeView1, &QWidget::customContextMenuRequested, this,
          [this](const QPoint& at) { Guarded([&] { TreeView1ContextMenu(at); }); });
  Edit15->installEventFilter(this);
  // A character a field refuses is named on the status line as well as in
  // the field's tooltip.
  for (const Cp932Validator* validator : findChildren<Cp932Validator*>())
    connect(validator, &Cp932Validator::refused, this, &TForm1::SetStatus);
}

bool TForm1::eventFilter(QObject* watched, QEvent* event) {
  if (watched == Edit15 && event->type() == QEvent::KeyPress) {
    bool replaced = false;
    Guarded([&] { replaced = Edit15KeyPress(static_cast<QKeyEvent*>(event)); });
    return replaced;
  }
  if (watched == TreeView1->viewport() && event->type() == QEvent::MouseButtonDblClick) {
    // The tree handles the click first (selection, expansion), then the handler runs.
    QTimer::singleShot(0, this, [this] { Guarded([this] { TreeView1DblClick(); }); });
  }
  return QWidget::eventFilter(watched, event);
}

void TForm1::SetSpeedButtonUp() {
  const QSignalBlocker quiet(SpeedButton1);  // set from code: no handler runs
  SpeedButton1->setChecked(false);
}

void TForm1::SetStatus(const QString& text) { StatusPanel0->setText(text); }

QString TForm1::Status() const { return StatusPanel0->text(); }

void TForm1::ShowFailure(const std::exception& e) { deps_.ui->ErrorBox(Text(e.what()) + QStringLiteral(".")); }

void TForm1::ShowFailure(const base::Failure& failure) { deps_.ui->ErrorBox(Text(failure.text) + QStringLiteral(".")); }

void TForm1::ShowEscaped() noexcept {
  try {
    try {
      throw;
    } catch (const std::exception& e) {
      ShowFailure(e);
    } catch (...) {
      deps_.ui->ErrorBox(QStringLiteral("予期しないエラーが起きました."));
    }
  } catch (...) {
    // Not even the box could be shown (memory is exhausted, say): the
    // program still goes on rather than end here.
  }
}

void TForm1::FormCreate() {
  Form2 = new TForm2(this);
  Form2->show();
  Form2->repaint();
  // Without the platform's code page 932 every non-ASCII name would show as
  // stand-in characters: say so rather than show them silently.
  if (!cp932::CodecReady()) deps_.ui->ErrorBox(QStringLiteral("コードページ932の変換が使えません."));

  if (const base::Status loaded = deps_.engines->LoadLibrary(); !loaded) {
    // A box a line: the file that could not be loaded (its first line; the
    // system's reason after it is the command line's), or each entry point
    // it lacks. Without the file there is nothing more to start.
    const QStringList lines = Text(loaded.failure().text).split(QLatin1Char('\n'));
    terminateRequested_ = true;
    if (loaded.failure().code == kCompanionNotLoaded) {
      deps_.ui->MessageBox(lines.front());
      return;
    }
    for (const QString& line : lines) deps_.ui->MessageBox(line);
  }
  if (deps_.loginRelay) deps_.loginRelay->Open([this](std::function<void()> fn) { Post(std::move(fn)); });

  ListInterfaces();
  ShowHostName();

  // A list that cannot be read is reported; start-up goes on, so the
  // workgroup name is still fetched and the splash window still released.
  listSession_.Attempted();
  bool rowsLoaded = false;
  std::optional<base::Failure> failure;
  try {
    const base::Status loaded = LoadPcList(&rowsLoaded);
    if (!loaded) failure = loaded.failure();
  } catch (...) {
    // Anything else (memory exhausted, say) fails the load the same way; the
    // box names the file rather than the exception.
    listSession_.Failed(rowsLoaded);
    Guarded([this] { ShowFailure(pclist::CannotOpen(ListSource())); });
  }
  if (failure) {
    listSession_.Failed(rowsLoaded);
    ShowFailure(*failure);
  }

  workgroupname->setText(QStringLiteral("取得中..."));
  workgroupname->setText(Text(StartupWorkgroup()));

  // Consents to SMB1 for old computers: a settings file that cannot be read
  // is ignored, and the status line says so.
  if (deps_.consents) {
    if (const base::Status read = deps_.consents->Load(); !read) SetStatus(Text(read.failure().text));
  }

  Form2->deleteLater();
  Form2 = nullptr;
}

void TForm1::FormDestroy() {
  repeatping->stop();
  // The engines end the work under way first (no result reaches the window
  // after that), and free the library after the list is saved.
  deps_.engines->Shutdown([this] {
    deps_.engines->calls.SetGuard({});  // the engines outlive the window
    // Whether the list is saved follows from what start-up loaded (see
    // pclist::ListSession). A failed save, or anything thrown on the way, is
    // shown here, once: this runs from the destructor, and the library is
    // released all the same, even when the box itself fails.
    if (!listSession_.Saves()) return;
    base::Status saved = base::Ok();
    Guarded([&] { saved = SavePcList(); });
    if (!saved) {
      try {
        ShowFailure(saved.failure());
      } catch (...) {}
    }
  });
}

void TForm1::Post(std::function<void()> fn) {
  // Dropped when the window is gone before it runs. Through a queue of our
  // own, so ThreadSanitizer sees the worker's work ordered before fn.
  mailbox_->Post(std::move(fn));
}

void TForm1::ListInterfaces() {
  QList<QStringList> rows;
  for (const netinfo::InterfaceRow& row : netinfo::ListInterfaceRows(*deps_.sockets))
    rows.append({Text(row.address), Text(row.mask), Text(row.label)});
  ListView1->AddRows(rows);
}

void TForm1::ShowHostName() { Edit14->setText(Text(netinfo::HostName(*deps_.sockets))); }
