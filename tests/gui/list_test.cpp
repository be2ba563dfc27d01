// The computer list in the window: file round trips, the workgroup listing,
// the manual add and the key filter.
#include <gtest/gtest.h>

#include <QApplication>
#include <QClipboard>
#include <QInputMethodEvent>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>
#include <QPointer>
#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <functional>
#include <utility>

#include "TListView.h"
#include "app_fixture.h"
#include "Unit2.h"
#include "cp932.h"
#include "pclist.h"

namespace {

// Clicks 追加 and waits for its connection check, which runs off the window's thread.
void ClickAdd(TForm1& form) {
  form.Button11->click();
  EXPECT_TRUE(QTest::qWaitFor([&] { return !form.WorkPending(); }, 2000));
}

// Opens the in-place editor on a row's caption; earlier editors are gone first.
QLineEdit* OpenEditor(TListView* list, int row) {
  QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  list->editItem(list->topLevelItem(row), 0);
  return list->findChild<QLineEdit*>();
}

TEST(ListFile, NamesSurviveLoadAndSaveByteForByte) {
  // Double-byte names, a 0x5C trail byte, and bytes that are no valid CP932.
  const std::string file = "[WGPCLIST]\r\n4\r\n" + Cp932("経理ソ") + "\r\nPC01\r\n\x80\xff\xa0X\r\n\x81\r\n";
  AppFixture app;
  app.WriteListFile(file);
  TForm1& form = app.Open();
  ASSERT_EQ(form.ListView3->RowCount(), 4);
  EXPECT_EQ(Addresses(form), (QStringList{{}, {}, {}, {}}));
  EXPECT_TRUE(app.ui.errorBoxes.isEmpty());
  EXPECT_FALSE(form.inimemo->toPlainText().isEmpty());
  app.Close();
  EXPECT_EQ(app.ReadListFile(), file);
}

TEST(ListFile, TwoSectionsAreSavedAsOne) {
  AppFixture app;
  app.WriteListFile("[WGPCLIST]\n1\nA\njunk\n[WGPCLIST]\n2\nB\nC\n");
  TForm1& form = app.Open();
  EXPECT_EQ(Captions(form), (QStringList{"A", "B", "C"}));
  app.Close();
  EXPECT_EQ(app.ReadListFile(), "[WGPCLIST]\r\n3\r\nA\r\nB\r\nC\r\n");
}

TEST(ListFile, BadCountShowsTheErrorBoxKeepsEarlierRowsAndBacksUpTheFile) {
  const std::string file = "[WGPCLIST]\r\n1\r\nA\r\n[WGPCLIST]\r\n2 \r\nB\r\n";
  AppFixture app;
  app.provider.Add("", {"WG"});
  app.WriteListFile(file);
  TForm1& form = app.Open();
  EXPECT_EQ(app.ui.errorBoxes, QStringList{QStringLiteral("'2 ' は整数ではありません.")});
  EXPECT_EQ(Captions(form), QStringList{"A"});
  EXPECT_EQ(form.workgroupname->text(), QStringLiteral("WG"));  // start-up went on
  app.Close();
  QFile backup(QString::fromStdString(app.ListPath() + ".bak"));
  ASSERT_TRUE(backup.open(QIODevice::ReadOnly));
  EXPECT_EQ(backup.readAll().toStdString(), file);
  EXPECT_EQ(app.ReadListFile(), "[WGPCLIST]\r\n1\r\nA\r\n");
}

TEST(ListFile, ABackupThatCannotBeMadeKeepsTheFileAndNamesTheBackup) {
  const std::string file = "[WGPCLIST]\r\nx\r\nA\r\n";
  AppFixture app;
  app.WriteListFile(file);
  TForm1& form = app.Open();
  ASSERT_EQ(app.ui.errorBoxes.size(), 1);
  QDir().mkpath(QString::fromStdString(app.ListPath()) + ".bak");  // no copy can go there
  form.ListView3->AddRow(QStringLiteral("NEWPC"), {QString()});
  app.Close();
  ASSERT_EQ(app.ui.errorBoxes.size(), 2);
  EXPECT_TRUE(
      app.ui.errorBoxes[1].endsWith(QString::fromStdString(app.ListPath()) + QStringLiteral(".bak を作成できません.")))
      << app.ui.errorBoxes[1].toStdString();
  EXPECT_EQ(app.ReadListFile(), file);  // not replaced without its backup
}

// A list that could not be read at all is left exactly as it was at exit,
// whatever the rows; start-up goes on past the box.
TEST(ListFile, UnreadListSurvivesExitUntouched) {
  const std::string big = "[WGPCLIST]\r\n1\r\nBIG\r\n" + std::string(pclist::kMaxFileBytes, 'x');
  struct Case {
    const char* what;
    std::function<bool(const std::string& path)> make;  // false: this system cannot make it
    QString box;                                        // the end of the error box
  } const cases[] = {
      {"over the size cap",
       [&](const std::string& path) { return static_cast<bool>(std::ofstream(path, std::ios::binary) << big); },
       QStringLiteral(" は大きすぎて読めません.")},
      {"sparse 1 TiB",
       [](const std::string& path) {
         std::ofstream(path, std::ios::binary) << "[WGPCLIST]\r\n1\r\nA\r\n";
         std::error_code error;  // Windows file systems (and Wine's) make no sparse file this way
         std::filesystem::resize_file(path, uintmax_t{1} << 40, error);
         return !error;
       },
       QStringLiteral(" は大きすぎて読めません.")},
      {"a directory", [](const std::string& path) { return std::filesystem::create_directory(path); },
       QStringLiteral(" は開けません.")},
      {"a link to /dev/zero",
       [](const std::string& path) {
         std::error_code error;  // no /dev/zero on Windows, and Wine makes no such link
         std::filesystem::create_symlink("/dev/zero", path, error);
         return !error && std::filesystem::exists("/dev/zero");
       },
       QStringLiteral(" は開けません.")},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    AppFixture app;
    app.provider.Add("", {"WG"});
    if (!c.make(app.ListPath())) {
      std::cout << "case not made on this system: " << c.what << '\n';
      continue;
    }
    const auto before = std::filesystem::symlink_status(app.ListPath());
    const uintmax_t size =
        before.type() == std::filesystem::file_type::regular ? std::filesystem::file_size(app.ListPath()) : 0;
    TForm1& form = app.Open();
    ASSERT_EQ(app.ui.errorBoxes.size(), 1);
    EXPECT_TRUE(app.ui.errorBoxes[0].endsWith(c.box)) << app.ui.errorBoxes[0].toStdString();
    EXPECT_EQ(form.workgroupname->text(), QStringLiteral("WG"));  // start-up went on
    QPointer<TForm2> splash = form.findChild<TForm2*>();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(splash.isNull());
    form.ListView3->AddRow(QStringLiteral("NEWPC"), {QString()});
    app.Close();
    EXPECT_EQ(app.ui.errorBoxes.size(), 1);
    EXPECT_EQ(std::filesystem::symlink_status(app.ListPath()).type(), before.type());
    EXPECT_FALSE(std::filesystem::exists(app.ListPath() + ".bak"));
    if (before.type() == std::filesystem::file_type::regular) {
      EXPECT_EQ(std::filesystem::file_size(app.ListPath()), size);
      if (size == big.size()) {
        EXPECT_TRUE(app.ReadListFile() == big);  // no 16 MiB diff on failure
      }
    }
  }
}

TEST(ListFile, UnwritableListShowsTheErrorBoxAtShutdown) {
  AppFixture app;
  app.Open();
  // A directory where the file should be: it can be neither read nor replaced.
  QDir().mkpath(QString::fromStdString(app.ListPath()) + "/sub");
  app.Close();
  ASSERT_EQ(app.ui.errorBoxes.size(), 1);
  EXPECT_TRUE(app.ui.errorBoxes[0].endsWith(QStringLiteral(" を作成できません.")));
  EXPECT_TRUE(app.ui.errorBoxes[0].contains(QString::fromStdString(app.ListPath())));
}

TEST(ListFile, CaptionEditedInPlaceAndBackKeepsTheBytes) {
  const std::string odd = "\x80\xfd" + Cp932("名");
  AppFixture app;
  app.WriteListFile("[WGPCLIST]\r\n1\r\n" + odd + "\r\n");
  TForm1& form = app.Open();
  QTreeWidgetItem* item = form.ListView3->topLevelItem(0);
  const QString original = item->text(0);
  EXPECT_TRUE(item->flags() & Qt::ItemIsEditable);
  form.show();
  form.ListView3->editItem(item, 1);  // the address column cannot be edited
  EXPECT_EQ(form.ListView3->findChild<QLineEdit*>(), nullptr);
  QLineEdit* editor = OpenEditor(form.ListView3, 0);
  ASSERT_NE(editor, nullptr);
  editor->setText(QStringLiteral("TEMP"));
  QTest::keyClick(editor, Qt::Key_Return);
  QApplication::processEvents();  // the delegate commits through a queued call
  EXPECT_EQ(item->text(0), QStringLiteral("TEMP"));
  editor = OpenEditor(form.ListView3, 0);
  ASSERT_NE(editor, nullptr);
  editor->setText(original);
  QTest::keyClick(editor, Qt::Key_Return);
  QApplication::processEvents();  // the delegate commits through a queued call
  app.Close();
  EXPECT_EQ(app.ReadListFile(), "[WGPCLIST]\r\n1\r\n" + odd + "\r\n");
}

TEST(ListFile, TextCodePage932CannotHoldIsRefused) {
  AppFixture app;
  TForm1& form = app.Open();
  form.show();
  // Typed or pasted, a character without CP932 bytes never reaches the field.
  form.Edit15->setFocus();
  QTest::keyClicks(form.Edit15, QStringLiteral("AB"));
  form.Edit15->insert(QStringLiteral("한"));
  EXPECT_EQ(form.Edit15->text(), QStringLiteral("AB"));
  // ... and is named, on the status line and in the field's tooltip.
  EXPECT_TRUE(form.Status().contains(QStringLiteral("「한」"))) << form.Status().toStdString();
  EXPECT_EQ(form.Edit15->toolTip(), form.Status());
  QApplication::clipboard()->setText(QStringLiteral("X😀"));
  form.Edit15->paste();
  EXPECT_EQ(form.Edit15->text(), QStringLiteral("AB"));
  // The in-place editor of the list refuses it too.
  form.ListView3->AddRow(QStringLiteral("PC"), {QString()});
  QLineEdit* editor = OpenEditor(form.ListView3, 0);
  ASSERT_NE(editor, nullptr);
  editor->selectAll();
  editor->insert(QStringLiteral("😀"));
  QTest::keyClick(editor, Qt::Key_Return);
  QApplication::processEvents();  // the delegate commits through a queued call
  EXPECT_EQ(form.ListView3->Caption(0), QStringLiteral("PC"));
}

TEST(ListFile, TypedWaveDashIsKeptAsTheCodePagesTilde) {
  AppFixture app;
  TForm1& form = app.Open();
  form.show();
  app.companion.connectpc = FakeCompanion::Answer(0, "10.0.0.9");
  // Typed as an input method on Linux commits it: U+301C WAVE DASH.
  QTest::keyClicks(form.Edit15, QStringLiteral("PC"));
  QInputMethodEvent commit;
  commit.setCommitString(QStringLiteral("\u301C"));
  QApplication::sendEvent(form.Edit15, &commit);
  QTest::keyClicks(form.Edit15, QStringLiteral("1"));
  EXPECT_EQ(form.Edit15->text(), QStringLiteral("PC\uFF5E1"));
  EXPECT_TRUE(form.Edit15->toolTip().isEmpty());
  ClickAdd(form);
  app.Close();
  EXPECT_EQ(app.ReadListFile(),
            "[WGPCLIST]\r\n1\r\nPC\x81\x60"
            "1\r\n");
}

TEST(WorkgroupListing, RowsInOrderWithEmptyAddresses) {
  AppFixture app;
  app.provider.Add("", {"WG"}).Add("WG", {"\\\\PC01", "\\\\PC02"});
  app.WriteListFile("[WGPCLIST]\r\n1\r\nOLD\r\n");
  TForm1& form = app.Open();
  int pumpsBefore = app.ui.pumps;
  QStringList statusAtPump;
  app.ui.onPump = [&] { statusAtPump.append(form.Status()); };
  form.Button5->click();
  EXPECT_EQ(Captions(form), (QStringList{"PC01", "PC02"}));
  EXPECT_EQ(Addresses(form), (QStringList{{}, {}}));
  EXPECT_EQ(form.Status(), QStringLiteral("終了"));
  EXPECT_EQ(app.ui.pumps, pumpsBefore + 1);
  statusAtPump.removeDuplicates();  // the pump, then waits for the browse list read on a worker
  EXPECT_EQ(statusAtPump, QStringList{QStringLiteral("処理中")});
  ASSERT_TRUE(discovery::Listing::WaitForReads(5000));  // the browse list read again in the background
  const auto& request = app.provider.requests().back();
  EXPECT_EQ(request.remoteName, "WG");
  EXPECT_EQ(request.provider, "Microsoft Windows Network");

  form.Button5->click();  // a second listing does not double the rows
  EXPECT_EQ(Captions(form), (QStringList{"PC01", "PC02"}));
  EXPECT_TRUE(app.ui.boxes.isEmpty());
}

TEST(WorkgroupListing, AClickInsideItsOwnPumpIsIgnored) {
  AppFixture app;
  app.provider.Add("", {"WG"}).Add("WG", {"\\\\PC01", "\\\\PC02"});
  TForm1& form = app.Open();
  form.show();
  bool clicked = false;
  app.ui.onPump = [&] {
    if (!std::exchange(clicked, true)) QTest::mouseClick(form.Button5, Qt::LeftButton);
  };
  const int pumpsBefore = app.ui.pumps;
  form.Button5->click();
  EXPECT_TRUE(clicked);
  EXPECT_EQ(Captions(form), (QStringList{"PC01", "PC02"}));
  EXPECT_EQ(app.ui.pumps, pumpsBefore + 1);  // a second listing would have pumped too
}

TEST(WorkgroupListing, FailureEmptiesTheListAndShowsTheBox) {
  AppFixture app;
  app.provider.Add("", {"WG"}).FailOpen("WG", 1222);
  app.WriteListFile("[WGPCLIST]\r\n1\r\nOLD\r\n");
  TForm1& form = app.Open();
  form.Button5->click();
  EXPECT_EQ(form.ListView3->RowCount(), 0);
  EXPECT_EQ(app.ui.boxes, QStringList{QStringLiteral("異常終了")});  // no other source to ask
  EXPECT_EQ(form.Status(), QStringLiteral("終了 (ブラウズリストなし: ERROR_NO_NETWORK)"));
}

TEST(WorkgroupListing, NamesLoseSingleByteBackslashesOnly) {
  AppFixture app;
  app.provider.Add("", {"WG"}).Add("WG", {"\\\\" + Cp932("ソフト"), "\\\\A\\B"});
  TForm1& form = app.Open();
  form.Button5->click();
  EXPECT_EQ(Captions(form), (QStringList{QStringLiteral("ソフト"), QStringLiteral("AB")}));
}

class ManualAdd : public ::testing::Test {
 protected:
  void SetUp() override {
    form = &app.Open();
    app.companion.connectpc = FakeCompanion::Answer(0, "10.0.0.9");
    app.companion.nametoip = [this](char* b, int32_t s) {
      seenByNametoip = std::string(b);
      return FakeCompanion::Answer(0, "10.0.0.9")(b, s);
    };
  }
  AppFixture app;
  TForm1* form = nullptr;
  std::string seenByNametoip;
};

TEST_F(ManualAdd, ReachableComputerIsAddedWithTheLibrarysText) {
  form->Edit15->setText(QStringLiteral("PC01"));
  ClickAdd(*form);
  EXPECT_EQ(Captions(*form), QStringList{"PC01"});
  EXPECT_EQ(Addresses(*form), QStringList{"10.0.0.9"});
  EXPECT_EQ(app.companion.calls, (std::vector<std::string>{"connectpc:PC01", "nametoip:10.0.0.9"}));
  EXPECT_EQ(app.companion.sizes, (std::vector<int32_t>{255, 255}));
  EXPECT_EQ(seenByNametoip, "10.0.0.9");  // the buffer as connectpc left it
  EXPECT_EQ(form->Edit15->text(), QStringLiteral("PC01"));
  EXPECT_EQ(form->ListView3->SelectedRow(), -1);
}

TEST_F(ManualAdd, DuplicateIsRefusedByteForByteWithoutCallingTheLibrary) {
  form->ListView3->AddRow(QStringLiteral("PC01"), {QString()});
  form->Edit15->setText(QStringLiteral("PC01"));
  ClickAdd(*form);
  EXPECT_EQ(app.ui.boxes, QStringList{QStringLiteral("同名のコンピュータ名が登録されています")});
  EXPECT_TRUE(app.companion.calls.empty());
  form->Edit15->setText(QStringLiteral("pc01"));  // pasted lower case is another name
  ClickAdd(*form);
  EXPECT_EQ(Captions(*form), (QStringList{"PC01", "pc01"}));
}

TEST_F(ManualAdd, UnreachableComputerChangesNothing) {
  app.companion.connectpc = FakeCompanion::Answer(1, "no answer");
  form->Edit15->setText(QStringLiteral("GHOST"));
  ClickAdd(*form);
  EXPECT_EQ(form->ListView3->RowCount(), 0);
  EXPECT_TRUE(app.ui.boxes.isEmpty());
  EXPECT_EQ(app.companion.calls, std::vector<std::string>{"connectpc:GHOST"});
}

TEST_F(ManualAdd, LongNameReachesTheLibraryCutAndTheRowWhole) {
  const QString name(300, QLatin1Char('N'));
  form->Edit15->setMaxLength(1000);
  form->Edit15->setText(name);
  ClickAdd(*form);
  ASSERT_FALSE(app.companion.calls.empty());
  EXPECT_EQ(app.companion.calls[0], "connectpc:" + std::string(255, 'N'));
  EXPECT_EQ(Captions(*form), QStringList{name});
}

TEST(KeyFilter, TypedLettersBecomeUpperCasePastedTextStays) {
  AppFixture app;
  TForm1& form = app.Open();
  form.show();
  QTest::keyClicks(form.Edit15, QStringLiteral("pc-01z"));
  EXPECT_EQ(form.Edit15->text(), QStringLiteral("PC-01Z"));
  form.Edit15->clear();
  QApplication::clipboard()->setText(QStringLiteral("abc"));
  form.Edit15->paste();
  EXPECT_EQ(form.Edit15->text(), QStringLiteral("abc"));
}

}  // namespace
