// The window's controls as the widgets report them, and start-up/shutdown.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QAccessible>
#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QFontDatabase>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QStatusBar>
#include <QStyleOptionButton>
#include <QStyleOptionHeader>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <QTreeWidget>
#include <iostream>
#include <new>
#include <stdexcept>

#include "LoginDialog.h"
#include "TListView.h"
#include "Unit2.h"
#include "app_fixture.h"
#include "formlook.h"
#include "uiservices_desktop.h"

namespace {

struct ControlRow {
  const char* name;
  const char* parent;
  QRect geometry;
  const char* caption;  // nullptr: not checked
};

QString CaptionOf(const QWidget* w) {
  if (auto* box = qobject_cast<const QGroupBox*>(w)) return box->title();
  if (auto* label = qobject_cast<const QLabel*>(w)) return label->text();
  if (auto* button = qobject_cast<const QAbstractButton*>(w)) return button->text();
  return {};
}

TEST(Window, ControlsStandWhereTheLayoutPutsThem) {
  const ControlRow table[] = {
      {"GroupBox6", "Form1", {8, 8, 497, 97}, "ネットワーク情報"},
      {"Label4", "GroupBox6", {336, 10, 73, 12}, "コンピュータ名"},
      {"Label5", "GroupBox6", {336, 48, 91, 12}, "ワークグループ名"},
      {"ListView1", "GroupBox6", {8, 16, 321, 73}, nullptr},
      {"Edit14", "GroupBox6", {336, 24, 153, 20}, nullptr},
      {"workgroupname", "GroupBox6", {336, 64, 153, 20}, nullptr},
      {"GroupBox7", "Form1", {8, 112, 497, 233}, "ワークグループ所属PC"},
      {"SpeedButton1", "GroupBox7", {72, 16, 81, 22}, "接続確認"},
      {"Button5", "GroupBox7", {8, 16, 57, 25}, "実行"},
      {"ListView3", "GroupBox7", {8, 48, 241, 177}, nullptr},
      {"Edit15", "GroupBox7", {168, 16, 89, 20}, nullptr},
      {"Button11", "GroupBox7", {256, 16, 41, 25}, "追加"},
      {"Button1", "GroupBox7", {304, 16, 75, 25}, "リソース展開"},
      {"TreeView1", "GroupBox7", {256, 48, 233, 177}, nullptr},
      {"inimemo", "Form1", {512, 16, 137, 201}, nullptr},
      {"GroupBox8", "Form1", {8, 352, 225, 105}, "名前<->IP変換"},
      {"Label6", "GroupBox8", {8, 24, 24, 12}, "名前"},
      {"Label7", "GroupBox8", {8, 72, 10, 12}, "IP"},
      {"Edit16", "GroupBox8", {40, 24, 177, 20}, nullptr},
      {"Edit17", "GroupBox8", {32, 72, 185, 20}, nullptr},
      {"Button9", "GroupBox8", {56, 48, 65, 25}, "↑↓"},
      {"Button10", "GroupBox8", {152, 48, 57, 25}, "clear"},
      {"StatusBar1", "Form1", {0, 349, 508, 23}, nullptr},
  };
  AppFixture app;
  TForm1& form = app.Open();
  for (const ControlRow& row : table) {
    SCOPED_TRACE(row.name);
    auto* w = form.findChild<QWidget*>(QString::fromLatin1(row.name));
    ASSERT_NE(w, nullptr);
    EXPECT_EQ(w->parentWidget()->objectName(), QString::fromLatin1(row.parent));
    EXPECT_EQ(w->geometry(), row.geometry);
    if (row.caption) {
      EXPECT_EQ(CaptionOf(w), QString::fromUtf8(row.caption));
    }
  }
}

// Where a control's caption does not show whole in its font: the caption
// against the room the style draws it in, one line each.
QStringList Clipped(QWidget* top) {
  QStringList out;
  const auto check = [&out](const QWidget* w, const QString& text, const QFont& font, QRect room) {
    const int wide = QFontMetrics(font).horizontalAdvance(text);
    if (wide > room.width())
      out << QStringLiteral("%1 「%2」 %3 px in %4").arg(w->objectName(), text).arg(wide).arg(room.width());
  };
  for (QWidget* w : top->findChildren<QWidget*>()) {
    QStyle* style = w->style();
    if (auto* label = qobject_cast<QLabel*>(w); label && !label->text().isEmpty()) {
      if (!label->wordWrap()) {
        check(w, label->text(), label->font(), label->contentsRect());
      } else {
        const QRect need = label->fontMetrics().boundingRect(label->contentsRect(), Qt::TextWordWrap, label->text());
        if (need.height() > label->contentsRect().height())
          out << QStringLiteral("%1 wrapped: %2 px high in %3")
                     .arg(w->objectName())
                     .arg(need.height())
                     .arg(label->height());
      }
    } else if (auto* button = qobject_cast<QAbstractButton*>(w); button && !button->text().isEmpty()) {
      QStyleOptionButton option;
      option.initFrom(button);
      option.text = button->text();
      QRect room = button->rect().adjusted(2, 0, -2, 0);  // a tool button's frame
      if (qobject_cast<QPushButton*>(w))                  // clear of the bevel by the style's margin
        room = style->subElementRect(QStyle::SE_PushButtonContents, &option, w)
                   .adjusted(0, 0, -style->pixelMetric(QStyle::PM_ButtonMargin, &option, w), 0);
      if (qobject_cast<QCheckBox*>(w)) room = style->subElementRect(QStyle::SE_CheckBoxContents, &option, w);
      check(w, button->text(), button->font(), room);
    } else if (auto* view = qobject_cast<QTreeWidget*>(w); view && !view->isHeaderHidden()) {
      QHeaderView* header = view->header();
      for (int i = 0; i < view->columnCount(); ++i) {
        QStyleOptionHeader option;
        option.initFrom(header);
        option.rect = QRect(0, 0, header->sectionSize(i), header->height());
        check(w, view->headerItem()->text(i), header->font(),
              style->subElementRect(QStyle::SE_HeaderLabel, &option, header));
      }
    }
  }
  return out;
}

// The fixed layout was drawn for the forms' own font; each Japanese Gothic
// that may stand in for it (those installed) must still show every caption
// of the window, the splash and the login dialog whole. With MLK_GRAB_DIR
// set, each form is saved there per font.
TEST(Window, EveryCaptionFitsItsControlInEachStandInFont) {
  const QString grabDir = qEnvironmentVariable("MLK_GRAB_DIR");
  const QStringList program = QFont::substitutes(FormFontFamily());
  QStringList checked, absent;
  for (const QString& family :
       {QStringLiteral("IPAPGothic"), QStringLiteral("Noto Sans CJK JP"), QStringLiteral("VL PGothic")}) {
    if (!QFontDatabase::families().contains(family)) {
      absent << family;
      continue;
    }
    checked << family;
    SCOPED_TRACE(family.toStdString());
    QFont::removeSubstitutions(FormFontFamily());
    QFont::insertSubstitution(FormFontFamily(), family);
    AppFixture app;
    TForm1& form = app.Open();
    TForm2 splash(nullptr);
    netinfo::LoginRequest request;
    request.host = "ファイル鯖01";
    request.reason = netinfo::LoginRequest::Reason::kTooLong;  // the longest problem line
    request.boundAddress = "192.168.100.200";
    request.address = "192.168.100.201";
    LoginDialog dialog(request);
    for (QWidget* top :
         {static_cast<QWidget*>(&form), static_cast<QWidget*>(&splash), static_cast<QWidget*>(&dialog)}) {
      top->show();  // the lists share their width out when first shown
      QApplication::processEvents();
      EXPECT_EQ(QFontInfo(top->font()).family(), family);
      const QStringList clipped = Clipped(top);
      EXPECT_TRUE(clipped.isEmpty()) << clipped.join(QStringLiteral("; ")).toStdString();
      if (!grabDir.isEmpty())
        top->grab().save(
            QStringLiteral("%1/captions-%2-%3.png").arg(grabDir, top->objectName(), QString(family).remove(' ')));
      top->hide();
    }
  }
  QFont::removeSubstitutions(FormFontFamily());
  QFont::insertSubstitutions(FormFontFamily(), program);
  if (!absent.isEmpty()) std::cout << "not installed, not checked: " << absent.join(", ").toStdString() << "\n";
  if (checked.isEmpty()) GTEST_SKIP() << "none of the fonts is installed";
}

// The splash's caption and the login dialog's warning lines are drawn red,
// not in the button face's text colour.
TEST(Window, RedCaptionsShowRed) {
  TForm2 splash(nullptr);
  netinfo::LoginRequest request;
  request.reason = netinfo::LoginRequest::Reason::kWrongCredentials;
  LoginDialog dialog(request);
  for (QLabel* label : {splash.Label1, dialog.Problem}) {
    label->window()->show();
    QApplication::processEvents();
    const QImage drawn = label->grab().toImage();
    int red = 0;
    for (int y = 0; y < drawn.height(); ++y)
      for (int x = 0; x < drawn.width(); ++x) {
        const QColor c = drawn.pixelColor(x, y);
        red += c.red() - std::max(c.green(), c.blue()) > 96;
      }
    EXPECT_GT(red, 10) << label->objectName().toStdString();
  }
}

TEST(Window, FixedClientAreaTitleFontAndTimer) {
  AppFixture app;
  TForm1& form = app.Open();
  EXPECT_EQ(form.windowTitle(), QStringLiteral("Mirelka β1"));
  EXPECT_EQ(form.size(), QSize(508, 372));
  EXPECT_EQ(form.minimumSize(), form.maximumSize());
  EXPECT_FALSE(form.windowFlags() & Qt::WindowMaximizeButtonHint);
  EXPECT_TRUE(form.windowFlags() & Qt::WindowMinimizeButtonHint);
  EXPECT_EQ(form.font().family(), QStringLiteral("ＭＳ Ｐゴシック"));
  EXPECT_EQ(form.font().pixelSize(), 12);
  EXPECT_EQ(form.Button9->font().pixelSize(), 21);
  EXPECT_FALSE(form.windowIcon().isNull());
  const QList<QSize> iconSizes = form.windowIcon().availableSizes();
  EXPECT_TRUE(iconSizes.contains(QSize(16, 16)) && iconSizes.contains(QSize(32, 32))) << iconSizes.size();

  EXPECT_FALSE(form.repeatping->isActive());
  EXPECT_EQ(form.repeatping->interval(), 5000);
  EXPECT_TRUE(form.SpeedButton1->isCheckable());
  EXPECT_FALSE(form.SpeedButton1->isChecked());

  EXPECT_EQ(form.TreeView1->indentation(), 19);
  EXPECT_EQ(form.TreeView1->editTriggers(), QAbstractItemView::NoEditTriggers);
  ASSERT_EQ(form.ImageList1.size(), 2);
  EXPECT_FALSE(form.ImageList1[0].isNull());
  EXPECT_FALSE(form.ImageList1[1].isNull());

  // One panel, spanning the bar: a long text is shown across its width.
  form.SetStatus(QString(80, QLatin1Char('x')));
  form.show();
  QApplication::processEvents();
  EXPECT_GE(form.StatusPanel0->width(), 480);
}

TEST(Window, ListViewsHaveTheirColumnsAndShareTheWidth) {
  EXPECT_EQ(TListView::ColumnWidths(320, 3), (QList<int>{108, 106, 106}));
  EXPECT_EQ(TListView::ColumnWidths(241, 2), (QList<int>{121, 120}));
  EXPECT_EQ(TListView::ColumnWidths(2, 3), (QList<int>{2, 0, 0}));

  AppFixture app;
  TForm1& form = app.Open();
  EXPECT_EQ(form.ListView1->headerItem()->text(0), QStringLiteral("IPアドレス"));
  EXPECT_EQ(form.ListView1->headerItem()->text(1), QStringLiteral("サブネットマスク"));
  EXPECT_EQ(form.ListView1->headerItem()->text(2), QStringLiteral("種類"));
  EXPECT_EQ(form.ListView3->headerItem()->text(0), QStringLiteral("コンピュータ名"));
  EXPECT_EQ(form.ListView3->headerItem()->text(1), QStringLiteral("IPアドレス"));
  form.show();
  QApplication::processEvents();
  const int client = form.ListView1->viewport()->width();
  const QList<int> expected = TListView::ColumnWidths(client, 3);
  for (int i = 0; i < 3; ++i) EXPECT_EQ(form.ListView1->columnWidth(i), expected[i]);
  EXPECT_EQ(form.ListView3->selectionMode(), QAbstractItemView::SingleSelection);
}

TEST(Window, EveryControlHasASpokenNameInJapanese) {
  AppFixture app;
  TForm1& form = app.Open();
  const char* controls[] = {"GroupBox6", "Label4",       "Label5",  "ListView1", "Edit14",    "workgroupname",
                            "GroupBox7", "SpeedButton1", "Button5", "ListView3", "Edit15",    "Button11",
                            "Button1",   "TreeView1",    "inimemo", "GroupBox8", "Label6",    "Label7",
                            "Edit16",    "Edit17",       "Button9", "Button10",  "StatusBar1"};
  for (const char* name : controls) {
    QAccessibleInterface* control = QAccessible::queryAccessibleInterface(form.findChild<QWidget*>(name));
    ASSERT_NE(control, nullptr) << name;
    EXPECT_FALSE(control->text(QAccessible::Name).isEmpty()) << name;
  }
  EXPECT_EQ(QAccessible::queryAccessibleInterface(form.Edit14)->text(QAccessible::Name),
            QStringLiteral("コンピュータ名"));
  EXPECT_EQ(QAccessible::queryAccessibleInterface(form.SpeedButton1)->text(QAccessible::Name),
            QStringLiteral("接続確認"));
}

TEST(Window, TabOrderRunsThroughTheFrames) {
  AppFixture app;
  TForm1& form = app.Open();
  const QList<QWidget*> order = {form.ListView1, form.Edit14,   form.workgroupname, form.Button5,   form.ListView3,
                                 form.Edit15,    form.Button11, form.Button1,       form.TreeView1, form.inimemo,
                                 form.Edit16,    form.Edit17,   form.Button9,       form.Button10};
  // Walking the focus chain, the next listed control reached is the next in order.
  for (int i = 1; i < order.size(); ++i) {
    SCOPED_TRACE(order[i - 1]->objectName().toStdString());
    QWidget* w = order[i - 1]->nextInFocusChain();
    while (w != order[i] && !order.contains(w) && w != &form) w = w->nextInFocusChain();
    EXPECT_EQ(w, order[i]);
  }
  EXPECT_EQ(form.SpeedButton1->focusPolicy(), Qt::NoFocus);
}

// A name from the list file or the network is text wherever it shows: in the
// desktop's boxes, the status line, the list and the tree. With MLK_GRAB_DIR
// set, the window and the box are saved there as PNG files to look at.
TEST(Window, NamesShowAsTextNeverAsMarkup) {
  const QString evil = QStringLiteral("<i>EVIL</i>");
  AppFixture app;
  app.WriteListFile("[WGPCLIST]\r\n1\r\n<i>EVIL</i>\r\n");
  app.provider.Add("\\\\<i>EVIL</i>", {"\\\\<i>EVIL</i>\\<b>S</b>"});
  TForm1& form = app.Open();
  app.companion.nametoip = FakeCompanion::Answer(0, "10.0.0.1");
  form.Button1->click();
  ASSERT_TRUE(QTest::qWaitFor([&] { return form.Status() == QStringLiteral("終了"); }, 5000));
  ASSERT_EQ(form.TreeView1->topLevelItemCount(), 1);
  EXPECT_EQ(form.TreeView1->topLevelItem(0)->child(0)->text(0), QStringLiteral("<b>S</b>"));
  form.SetStatus(evil);
  EXPECT_EQ(form.StatusPanel0->textFormat(), Qt::PlainText);
  const QString grabDir = qEnvironmentVariable("MLK_GRAB_DIR");
  if (!grabDir.isEmpty()) form.grab().save(grabDir + "/names-window.png");

  const auto desktop = MakeDesktopUiServices(&form);
  Qt::TextFormat format = Qt::AutoText;
  QString shown;
  QTimer::singleShot(0, [&] {
    for (QWidget* widget : QApplication::topLevelWidgets()) {
      auto* box = qobject_cast<QMessageBox*>(widget);
      if (box == nullptr || !box->isVisible()) continue;
      format = box->textFormat();
      shown = box->text();
      if (!grabDir.isEmpty()) box->grab().save(grabDir + "/names-box.png");
      box->accept();
    }
  });
  desktop->MessageBox(evil + QStringLiteral("のリソースを取得できません"));
  EXPECT_EQ(shown, evil + QStringLiteral("のリソースを取得できません"));
  EXPECT_EQ(format, Qt::PlainText);
}

TEST(Startup, EverythingPresentFillsTheWindowAndReleasesTheSplash) {
  AppFixture app;
  app.sockets.AddInterface({192, 168, 0, 1}, {255, 255, 255, 0}).AddInterface({127, 0, 0, 1}, {255, 0, 0, 0});
  app.provider.Add("", {"WG1", "\\\\HOME"});
  TForm1& form = app.Open();
  EXPECT_TRUE(app.ui.boxes.isEmpty());
  EXPECT_FALSE(form.TerminateRequested());
  EXPECT_EQ(app.dynlib.loadedName, "libfake.so");
  ASSERT_EQ(form.ListView1->RowCount(), 2);
  EXPECT_EQ(form.ListView1->Caption(0), QStringLiteral("192.168.0.1"));
  EXPECT_EQ(form.ListView1->topLevelItem(0)->text(1), QStringLiteral("255.255.255.0"));
  EXPECT_EQ(form.ListView1->topLevelItem(0)->text(2), QStringLiteral("class C"));
  EXPECT_EQ(form.ListView1->topLevelItem(1)->text(2), QStringLiteral("loopback"));
  EXPECT_EQ(form.Edit14->text(), QStringLiteral("testhost"));
  EXPECT_EQ(form.workgroupname->text(), QStringLiteral("HOME"));  // the last container, backslashes gone

  QPointer<TForm2> splash = form.findChild<TForm2*>();
  ASSERT_FALSE(splash.isNull());
  EXPECT_EQ(splash->size(), QSize(259, 50));
  EXPECT_EQ(splash->Label1->text(), QStringLiteral("Mirelkaを起動しています"));
  QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  EXPECT_TRUE(splash.isNull());
}

TEST(Startup, NoWorkgroupLeavesTheFieldEmpty) {
  AppFixture app;
  app.provider.FailOpen("", 1222);
  TForm1& form = app.Open();
  EXPECT_EQ(form.workgroupname->text(), QString());
}

TEST(Startup, MissingLibraryShowsOneBoxReadsNoListAndKeepsIt) {
  AppFixture app;
  app.dynlib.loadable = false;
  app.WriteListFile("[WGPCLIST]\r\n1\r\nPC01\r\n");
  TForm1& form = app.Open();
  EXPECT_EQ(app.ui.boxes, QStringList{QStringLiteral("libfake.soがありません")});
  EXPECT_TRUE(form.TerminateRequested());
  EXPECT_EQ(form.ListView3->RowCount(), 0);
  EXPECT_EQ(form.ListView1->RowCount(), 0);
  EXPECT_TRUE(app.provider.requests().empty());
  app.Close();
  EXPECT_EQ(app.ReadListFile(), "[WGPCLIST]\r\n1\r\nPC01\r\n");  // the stored list survives
  EXPECT_EQ(app.dynlib.freed, 0);
}

TEST(Startup, MissingEntryPointsAreReportedInOrderAndStartupCompletes) {
  AppFixture app;
  app.dynlib.missing = {"connectpc", "init"};
  app.provider.Add("", {"WG"});
  app.sockets.AddInterface({10, 0, 0, 5}, {255, 0, 0, 0});
  app.WriteListFile("[WGPCLIST]\r\n1\r\nPC01\r\n");
  TForm1& form = app.Open();
  EXPECT_EQ(app.ui.boxes, (QStringList{QStringLiteral("init関数がない"), QStringLiteral("connectpc関数がない")}));
  EXPECT_TRUE(form.TerminateRequested());
  EXPECT_EQ(form.ListView1->RowCount(), 1);
  EXPECT_EQ(Captions(form), QStringList{QStringLiteral("PC01")});
  EXPECT_EQ(form.workgroupname->text(), QStringLiteral("WG"));
}

TEST(Handlers, AnExceptionShowsTheErrorBoxAndTheWindowGoesOn) {
  AppFixture app;
  TForm1& form = app.Open();
  form.show();
  app.companion.nametoip = [](char*, int32_t) -> uint16_t { throw std::runtime_error("boom"); };
  form.Edit16->setText(QStringLiteral("PC01"));
  // The call runs on a thread of its own; what it throws is shown here.
  QTest::mouseClick(form.Button9, Qt::LeftButton);
  ASSERT_TRUE(QTest::qWaitFor([&] { return !form.WorkPending(); }, 2000));
  EXPECT_EQ(app.ui.errorBoxes, QStringList{QStringLiteral("boom.")});
  app.companion.nametoip = FakeCompanion::Answer(0, "10.0.0.1");
  form.Edit17->clear();
  QTest::mouseClick(form.Button9, Qt::LeftButton);
  ASSERT_TRUE(QTest::qWaitFor([&] { return !form.WorkPending(); }, 2000));
  EXPECT_EQ(form.Edit17->text(), QStringLiteral("10.0.0.1"));
}

TEST(Shutdown, AFailureEvenOfItsBoxCannotEndTheProgramAndTheLibraryIsFreed) {
  AppFixture app;
  app.Open();
  QDir().mkpath(QString::fromStdString(app.ListPath()) + "/sub");  // the save fails
  app.ui.onError = [] { throw std::bad_alloc(); };                 // and so does its box
  app.Close();
  EXPECT_EQ(app.ui.errorBoxes.size(), 1);
  EXPECT_EQ(app.dynlib.freed, 1);
}

TEST(Shutdown, SavesTheListThenFreesTheLibrary) {
  AppFixture app;
  app.Open();
  bool fileThereAtFree = false;
  app.dynlib.onFree = [&] { fileThereAtFree = app.ListFileExists(); };
  app.Close();
  EXPECT_TRUE(fileThereAtFree);
  EXPECT_EQ(app.ReadListFile(), "[WGPCLIST]\r\n0\r\n");
  EXPECT_EQ(app.dynlib.freed, 1);
}

}  // namespace
