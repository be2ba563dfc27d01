// The connection watch, driven with a short timer interval.
#include <gtest/gtest.h>

#include <QAccessible>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <QToolButton>

#include "TListView.h"
#include "app_fixture.h"

namespace {

class Watch : public ::testing::Test {
 protected:
  void SetUp() override {
    form = &app.Open();
    form->repeatping->setInterval(30);
    form->ListView3->AddRow(QStringLiteral("\\\\PC01"), {QString()});
    form->ListView3->AddRow(QStringLiteral("PC02"), {QString()});
    form->show();
  }
  void Select(int row) { form->ListView3->setCurrentItem(form->ListView3->topLevelItem(row)); }
  // Runs the event loop until the watch has made n more checks or gone idle.
  void WaitTicks(int n) {
    const size_t target = app.companion.calls.size() + static_cast<size_t>(n);
    static_cast<void>(
        QTest::qWaitFor([&] { return app.companion.calls.size() >= target || !form->repeatping->isActive(); }, 2000));
  }
  AppFixture app;
  TForm1* form = nullptr;
};

TEST_F(Watch, NoSelectionShowsTheBoxAndPopsTheButtonUp) {
  const QString status = form->Status();
  form->SpeedButton1->click();
  EXPECT_EQ(app.ui.boxes, QStringList{QStringLiteral("コンピュータ名を選んでください")});
  EXPECT_FALSE(form->SpeedButton1->isChecked());
  EXPECT_FALSE(form->repeatping->isActive());
  EXPECT_EQ(form->Status(), status);
}

TEST_F(Watch, FirstCheckWaitsOneInterval) {
  form->repeatping->setInterval(5000);
  Select(0);
  form->SpeedButton1->click();
  EXPECT_TRUE(form->repeatping->isActive());
  EXPECT_GT(form->repeatping->remainingTime(), 4000);
  QTest::qWait(20);
  EXPECT_TRUE(app.companion.calls.empty());
}

TEST_F(Watch, SuccessWritesTheTextStopsAndReleasesTheButton) {
  app.companion.connectpc = FakeCompanion::Answer(0, "10.1.1.1");
  QStringList statusAtPump;
  std::vector<bool> enabledAtPump;
  app.ui.onPump = [&] {
    statusAtPump.append(form->Status());
    enabledAtPump.push_back(form->SpeedButton1->isEnabled());
  };
  Select(0);
  form->SpeedButton1->click();
  WaitTicks(1);
  EXPECT_EQ(app.companion.calls, std::vector<std::string>{"connectpc:PC01"});  // backslashes gone for the call
  EXPECT_EQ(app.companion.sizes, std::vector<int32_t>{511});
  EXPECT_EQ(form->ListView3->Caption(0), QStringLiteral("\\\\PC01"));  // the caption is untouched
  EXPECT_EQ(form->ListView3->SubItem(0), QStringLiteral("10.1.1.1"));
  EXPECT_FALSE(form->repeatping->isActive());
  EXPECT_FALSE(form->SpeedButton1->isChecked());
  EXPECT_TRUE(form->SpeedButton1->isEnabled());
  EXPECT_EQ(form->Status(), QStringLiteral("接続確認終了"));
  EXPECT_EQ(statusAtPump, (QStringList{"接続確認中...", "接続確認成功", "接続確認終了"}));
  EXPECT_EQ(enabledAtPump, (std::vector<bool>{true, false, true}));
  EXPECT_EQ(app.companion.initCalls, 1);
}

TEST_F(Watch, FailureIsRepeatedAndFollowsTheSelection) {
  app.companion.connectpc = FakeCompanion::Answer(5, "no answer");
  Select(1);
  form->SpeedButton1->click();
  WaitTicks(2);
  EXPECT_EQ(form->ListView3->SubItem(1), QStringLiteral("Err no answer"));
  EXPECT_TRUE(form->SpeedButton1->isChecked());
  EXPECT_TRUE(form->repeatping->isActive());
  EXPECT_GE(app.companion.initCalls, 2);
  Select(0);
  WaitTicks(1);
  EXPECT_EQ(app.companion.calls.back(), "connectpc:PC01");
  EXPECT_EQ(form->ListView3->SubItem(0), QStringLiteral("Err no answer"));
  form->SpeedButton1->click();  // released by hand: the watch stops, the result stays
  EXPECT_FALSE(form->repeatping->isActive());
  EXPECT_EQ(form->ListView3->SubItem(1), QStringLiteral("Err no answer"));
}

TEST_F(Watch, ReleaseDuringTheFirstPumpStillFinishesTheCheck) {
  app.companion.connectpc = FakeCompanion::Answer(5, "down");
  bool released = false;
  app.ui.onPump = [&] {
    if (!released && form->Status() == QStringLiteral("接続確認中...")) {
      released = true;
      form->SpeedButton1->click();
    }
  };
  Select(0);
  form->SpeedButton1->click();
  EXPECT_TRUE(QTest::qWaitFor([&] { return released; }, 1000));
  EXPECT_EQ(form->ListView3->SubItem(0), QStringLiteral("Err down"));
  EXPECT_FALSE(form->repeatping->isActive());
  EXPECT_FALSE(form->SpeedButton1->isChecked());
  EXPECT_TRUE(form->SpeedButton1->isEnabled());
}

TEST_F(Watch, SelectionClearedByAListingEndsTheWatch) {
  app.companion.connectpc = FakeCompanion::Answer(5, "down");
  app.provider.Add("WG", {"\\\\X"});
  form->workgroupname->setText(QStringLiteral("WG"));
  Select(0);
  form->SpeedButton1->click();
  form->Button5->click();
  WaitTicks(1);
  EXPECT_FALSE(form->repeatping->isActive());
  EXPECT_FALSE(form->SpeedButton1->isChecked());
  EXPECT_EQ(app.ui.boxes, QStringList{QStringLiteral("コンピュータ名を選んでください")});
  EXPECT_TRUE(app.companion.calls.empty());
  EXPECT_EQ(form->ListView3->SubItem(0), QString());
}

TEST_F(Watch, ATickDueDuringATickIsDropped) {
  int depth = 0, maxDepth = 0;
  app.companion.connectpc = [&](char* b, int32_t s) {
    ++depth;
    maxDepth = std::max(maxDepth, depth);
    QTest::qWait(80);  // longer than the interval: the next tick falls due in here
    --depth;
    return FakeCompanion::Answer(5, "slow")(b, s);
  };
  // Released and pressed again in the first tick's first pump, the timer
  // starts anew, so it fires again while that tick still waits for its check.
  bool pressedAgain = false;
  app.ui.onPump = [&] {
    if (!pressedAgain && form->Status() == QStringLiteral("接続確認中...")) {
      pressedAgain = true;
      form->SpeedButton1->click();
      form->SpeedButton1->click();
    }
  };
  Select(0);
  form->SpeedButton1->click();
  WaitTicks(3);
  form->SpeedButton1->click();
  EXPECT_TRUE(pressedAgain);
  EXPECT_EQ(maxDepth, 1);
  EXPECT_GE(app.companion.calls.size(), 2u);
}

TEST_F(Watch, AClickAKeyAndTheAccessibilityToggleAllStartAndStopIt) {
  Select(0);
  QAccessibleInterface* button = QAccessible::queryAccessibleInterface(form->SpeedButton1);
  ASSERT_NE(button, nullptr);
  ASSERT_NE(button->actionInterface(), nullptr);
  button->actionInterface()->doAction(QAccessibleActionInterface::toggleAction());
  EXPECT_TRUE(form->SpeedButton1->isChecked());
  EXPECT_TRUE(form->repeatping->isActive());
  button->actionInterface()->doAction(QAccessibleActionInterface::toggleAction());
  EXPECT_FALSE(form->repeatping->isActive());
  QTest::keyClick(form->SpeedButton1, Qt::Key_Space);
  EXPECT_TRUE(form->repeatping->isActive());
  form->SpeedButton1->click();
  EXPECT_FALSE(form->repeatping->isActive());
  EXPECT_FALSE(form->SpeedButton1->isChecked());
  EXPECT_TRUE(app.ui.boxes.isEmpty());
}

}  // namespace
