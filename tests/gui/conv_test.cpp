// The name and address conversion box.
#include <gtest/gtest.h>

#include <QLineEdit>
#include <QPushButton>
#include <QTest>

#include "app_fixture.h"

namespace {

class Conversion : public ::testing::Test {
 protected:
  void SetUp() override {
    form = &app.Open();
    app.companion.iptoname = FakeCompanion::Answer(0, "PC01");
    app.companion.nametoip = FakeCompanion::Answer(0, "10.0.0.7");
  }
  // Clicks the button; the fields as they stand right after the click, then
  // once the conversion has come back.
  QString Click() {
    form->Button9->click();
    const QString atClick = form->Edit16->text() + "|" + form->Edit17->text();
    EXPECT_TRUE(QTest::qWaitFor([&] { return !form->WorkPending(); }, 2000));
    return atClick;
  }
  AppFixture app;
  TForm1* form = nullptr;
};

TEST_F(Conversion, AddressToName) {
  form->Edit17->setText(QStringLiteral("10.0.0.7"));
  EXPECT_EQ(Click(), "working...|10.0.0.7");
  EXPECT_EQ(form->Edit16->text(), QStringLiteral("PC01"));
  EXPECT_EQ(form->Edit17->text(), QStringLiteral("10.0.0.7"));
  EXPECT_EQ(app.companion.calls, std::vector<std::string>{"iptoname:10.0.0.7"});
  EXPECT_EQ(app.companion.sizes, std::vector<int32_t>{255});
}

TEST_F(Conversion, NameToAddress) {
  form->Edit16->setText(QStringLiteral("PC01"));
  EXPECT_EQ(Click(), "PC01|working...");
  EXPECT_EQ(form->Edit17->text(), QStringLiteral("10.0.0.7"));
  EXPECT_EQ(app.companion.calls, std::vector<std::string>{"nametoip:PC01"});
}

TEST_F(Conversion, BothEmptyConvertsTheNewNameToo) {
  app.companion.iptoname = FakeCompanion::Answer(3, "");
  app.companion.nametoip = FakeCompanion::Answer(4, "bad name");
  Click();
  EXPECT_EQ(form->Edit16->text(), QStringLiteral("Err "));  // empty output: the prefix alone
  EXPECT_EQ(app.companion.calls, (std::vector<std::string>{"iptoname:", "nametoip:Err "}));
  EXPECT_EQ(form->Edit17->text(), QStringLiteral("Err bad name"));
}

TEST_F(Conversion, BothFilledShowsTheBoxAndChangesNothing) {
  form->Edit16->setText(QStringLiteral(" "));  // blanks count as filled
  form->Edit17->setText(QStringLiteral("x"));
  form->Button9->click();
  EXPECT_EQ(app.ui.boxes, QStringList{QStringLiteral("名前とIPが埋まっています")});
  EXPECT_TRUE(app.companion.calls.empty());
  EXPECT_EQ(form->Edit16->text(), QStringLiteral(" "));
  form->Button10->click();
  EXPECT_TRUE(form->Edit16->text().isEmpty());
  EXPECT_TRUE(form->Edit17->text().isEmpty());
}

TEST_F(Conversion, FieldIsCutAt255BytesAndASecondPressWhileItRunsIsIgnored) {
  form->Edit16->setText(QString(300, QLatin1Char('n')));
  form->Button9->click();
  form->Button9->click();
  EXPECT_TRUE(QTest::qWaitFor([&] { return !form->WorkPending(); }, 2000));
  EXPECT_EQ(app.companion.calls, std::vector<std::string>{"nametoip:" + std::string(255, 'n')});
  EXPECT_TRUE(app.ui.boxes.isEmpty());
}

// No thread can be started: the user is told, and the buttons work again
// once threads can be (the conversion box and 追加 both).
TEST_F(Conversion, AThreadThatCannotStartIsReportedAndFreesTheButton) {
  app.threadsFail = true;
  form->Edit16->setText(QStringLiteral("PC01"));
  form->Button9->click();
  ASSERT_EQ(app.ui.errorBoxes.size(), 1);
  EXPECT_TRUE(app.ui.errorBoxes[0].startsWith(QStringLiteral("処理を開始できません"))) << app.ui.errorBoxes[0].toStdString();
  form->Edit15->setText(QStringLiteral("PC02"));
  form->Button11->click();
  EXPECT_EQ(app.ui.errorBoxes.size(), 2);
  EXPECT_FALSE(form->WorkPending());

  app.threadsFail = false;
  app.companion.connectpc = FakeCompanion::Answer(0, "10.0.0.8");
  Click();
  EXPECT_EQ(form->Edit17->text(), QStringLiteral("10.0.0.7"));
  form->Button11->click();
  EXPECT_TRUE(QTest::qWaitFor([&] { return !form->WorkPending(); }, 2000));
  EXPECT_EQ(Captions(*form), QStringList{QStringLiteral("PC02")});
}

}  // namespace
