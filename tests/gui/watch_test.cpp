// The connection watch on a fake clock: each tick falls due when the test
// moves the clock; the checks themselves run on their threads as they do.
#include <gtest/gtest.h>

#include <QAccessible>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QToolButton>
#include <atomic>
#include <chrono>
#include <thread>

#include "TListView.h"
#include "app_fixture.h"
#include "fake_clock.h"

namespace {

class Watch : public ::testing::Test {
 protected:
  void SetUp() override {
    app.clock = &clock;
    form = &app.Open();
    form->repeatping->setInterval(30);
    form->ListView3->AddRow(QStringLiteral("\\\\PC01"), {QString()});
    form->ListView3->AddRow(QStringLiteral("PC02"), {QString()});
    form->show();
  }
  void Select(int row) { form->ListView3->setCurrentItem(form->ListView3->topLevelItem(row)); }
  // Moves the clock on by n intervals, each tick's check run to its end.
  void WaitTicks(int n) {
    for (int i = 0; i < n; ++i) {
      clock.Advance(form->repeatping->interval());
      Settle();
    }
  }
  // The check under way (on its thread) has come back.
  void Settle() { ASSERT_TRUE(QTest::qWaitFor([&] { return !form->WorkPending(); }, 5000)); }
  fakes::FakeClock clock;
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
  EXPECT_EQ(form->repeatping->remainingTime(), 5000);
  clock.Advance(4999);
  EXPECT_TRUE(app.companion.calls.empty());
  clock.Advance(1);
  Settle();
  EXPECT_EQ(app.companion.calls.size(), 1u);
}

TEST_F(Watch, SuccessWritesTheTextStopsAndReleasesTheButton) {
  std::atomic<bool> answer{false};
  app.companion.connectpc = [&](char* b, int32_t s) {
    // The check runs off the window's thread: the window goes on meanwhile.
    while (!answer) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    return FakeCompanion::Answer(0, "10.1.1.1")(b, s);
  };
  Select(0);
  form->SpeedButton1->click();
  clock.Advance(30);
  EXPECT_EQ(form->Status(), QStringLiteral("接続確認中..."));
  EXPECT_FALSE(form->SpeedButton1->isEnabled());
  clock.Advance(90);  // later ticks fall due meanwhile and are dropped
  answer = true;
  Settle();
  EXPECT_EQ(app.companion.calls, std::vector<std::string>{"connectpc:PC01"});  // backslashes gone for the call
  EXPECT_EQ(app.companion.sizes, std::vector<int32_t>{511});
  EXPECT_EQ(form->ListView3->Caption(0), QStringLiteral("\\\\PC01"));  // the caption is untouched
  EXPECT_EQ(form->ListView3->SubItem(0), QStringLiteral("10.1.1.1"));
  EXPECT_FALSE(form->repeatping->isActive());
  EXPECT_FALSE(form->SpeedButton1->isChecked());
  EXPECT_TRUE(form->SpeedButton1->isEnabled());
  EXPECT_EQ(form->Status(), QStringLiteral("接続確認終了"));
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

TEST_F(Watch, TheButtonIsHeldWhileTheCheckRunsAndTheWatchGoesOnAfterAFailure) {
  app.companion.connectpc = [](char* b, int32_t s) {
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    return FakeCompanion::Answer(5, "down")(b, s);
  };
  Select(0);
  form->SpeedButton1->click();
  clock.Advance(30);
  EXPECT_EQ(form->Status(), QStringLiteral("接続確認中..."));
  form->SpeedButton1->click();  // disabled while the check runs: no effect
  Settle();
  EXPECT_EQ(form->ListView3->SubItem(0), QStringLiteral("Err down"));
  EXPECT_TRUE(form->repeatping->isActive());
  EXPECT_TRUE(form->SpeedButton1->isChecked());
  EXPECT_TRUE(form->SpeedButton1->isEnabled());
  form->SpeedButton1->click();
  EXPECT_FALSE(form->repeatping->isActive());
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
  std::atomic<int> depth{0}, maxDepth{0};
  std::atomic<bool> go{false};
  app.companion.connectpc = [&](char* b, int32_t s) {
    maxDepth = std::max(maxDepth.load(), ++depth);
    while (!go) std::this_thread::sleep_for(std::chrono::milliseconds(1));  // longer than the interval
    --depth;
    return FakeCompanion::Answer(5, "slow")(b, s);
  };
  Select(0);
  form->SpeedButton1->click();
  clock.Advance(3 * 30);  // three ticks fall due; the first one's check holds
  go = true;
  Settle();
  WaitTicks(1);
  form->SpeedButton1->click();
  EXPECT_EQ(maxDepth, 1);
  EXPECT_EQ(app.companion.calls.size(), 2u);
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
