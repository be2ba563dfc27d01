// The name and address conversion box.
#include <gtest/gtest.h>

#include <QLineEdit>
#include <QPushButton>

#include "app_fixture.h"

namespace {

class Conversion : public ::testing::Test {
 protected:
  void SetUp() override {
    form = &app.Open();
    app.companion.iptoname = FakeCompanion::Answer(0, "PC01");
    app.companion.nametoip = FakeCompanion::Answer(0, "10.0.0.7");
    app.ui.onPump = [this] { placeholders.append(form->Edit16->text() + "|" + form->Edit17->text()); };
  }
  AppFixture app;
  TForm1* form = nullptr;
  QStringList placeholders;
};

TEST_F(Conversion, AddressToName) {
  form->Edit17->setText(QStringLiteral("10.0.0.7"));
  form->Button9->click();
  EXPECT_EQ(form->Edit16->text(), QStringLiteral("PC01"));
  EXPECT_EQ(form->Edit17->text(), QStringLiteral("10.0.0.7"));
  EXPECT_EQ(placeholders, QStringList{"working...|10.0.0.7"});
  EXPECT_EQ(app.companion.calls, std::vector<std::string>{"iptoname:10.0.0.7"});
  EXPECT_EQ(app.companion.sizes, std::vector<int32_t>{255});
}

TEST_F(Conversion, NameToAddress) {
  form->Edit16->setText(QStringLiteral("PC01"));
  form->Button9->click();
  EXPECT_EQ(form->Edit17->text(), QStringLiteral("10.0.0.7"));
  EXPECT_EQ(placeholders, QStringList{"PC01|working..."});
  EXPECT_EQ(app.companion.calls, std::vector<std::string>{"nametoip:PC01"});
}

TEST_F(Conversion, BothEmptyConvertsTheNewNameToo) {
  app.companion.iptoname = FakeCompanion::Answer(3, "");
  app.companion.nametoip = FakeCompanion::Answer(4, "bad name");
  form->Button9->click();
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

TEST_F(Conversion, FieldIsReadAfterThePumpAndCutAt255Bytes) {
  app.ui.onPump = [this] { form->Edit16->setText(QString(300, QLatin1Char('n'))); };
  form->Edit16->setText(QStringLiteral("old"));
  form->Button9->click();
  EXPECT_EQ(app.companion.calls, std::vector<std::string>{"nametoip:" + std::string(255, 'n')});
}

}  // namespace
