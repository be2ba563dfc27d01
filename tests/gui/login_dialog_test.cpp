// The login dialog, the prompt that shows it, and the user name in the
// file manager's URL.
#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QTemporaryDir>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include "LoginDialog.h"
#include "app_fixture.h"
#include "credentials.h"
#include "launcher.h"

namespace {

netinfo::LoginRequest Request(netinfo::LoginRequest::Reason reason = netinfo::LoginRequest::Reason::kFirst,
                              bool canSave = true) {
  netinfo::LoginRequest request;
  request.host = "ファイル鯖01";
  request.reason = reason;
  request.canSave = canSave;
  return request;
}

TEST(LoginDialog, JapaneseCaptionsTheComputerAndAMaskedPassword) {
  LoginDialog d(Request());
  EXPECT_EQ(d.windowTitle(), "Mirelka");
  EXPECT_TRUE(d.Message->text().contains(QStringLiteral("ファイル鯖01"))) << d.Message->text().toStdString();
  EXPECT_EQ(d.Password->echoMode(), QLineEdit::Password);
  EXPECT_EQ(d.SavePassword->text(), QStringLiteral("パスワードを保存する"));
  EXPECT_EQ(d.CancelButton->text(), QStringLiteral("キャンセル"));
  EXPECT_FALSE(d.Problem->isVisibleTo(&d));
  EXPECT_FALSE(d.OkButton->isEnabled());  // no user name yet
  QTest::keyClicks(d.UserName, "DOM\\alice");
  EXPECT_TRUE(d.OkButton->isEnabled());

  LoginDialog again(Request(netinfo::LoginRequest::Reason::kWrongCredentials, false));
  EXPECT_TRUE(again.Problem->isVisibleTo(&again));
  EXPECT_EQ(again.Problem->text(), QStringLiteral("ユーザー名またはパスワードが正しくありません。"));
  EXPECT_FALSE(again.SavePassword->isEnabled());
  EXPECT_FALSE(again.SavePassword->toolTip().isEmpty());
  LoginDialog tooLong(Request(netinfo::LoginRequest::Reason::kTooLong));
  EXPECT_NE(tooLong.Problem->text(), again.Problem->text());
}

TEST(LoginDialog, LooksLikeTheMainWindow) {
  AppFixture app;
  TForm1& form = app.Open();
  LoginDialog d(Request(netinfo::LoginRequest::Reason::kWrongCredentials, false));
  EXPECT_EQ(d.font(), form.font());
  const QImage dialog = d.grab().toImage();
  const QImage window = form.grab().toImage();
  EXPECT_EQ(dialog.pixelColor(2, 2), window.pixelColor(2, 2));  // the same face
  if (const QByteArray dir = qgetenv("MIRELKA_GRAB_DIR"); !dir.isEmpty())
    dialog.save(QString::fromLocal8Bit(dir) + "/login-dialog.png");
}

// Fills in the modal dialog once it is up, then clicks the button.
void AnswerWhenShown(const QString& user, const QString& password, bool save, bool ok) {
  QTimer::singleShot(0, [=] {
    auto* d = qobject_cast<LoginDialog*>(QApplication::activeModalWidget());
    ASSERT_NE(d, nullptr);
    QTest::keyClicks(d->UserName, user);
    d->Password->setText(password);
    d->SavePassword->setChecked(save);
    QTest::mouseClick(ok ? d->OkButton : d->CancelButton, Qt::LeftButton);
  });
}

TEST(LoginDialogPrompt, HandsBackWhatWasTypedOrNothingOnCancel) {
  LoginDialogPrompt prompt;
  AnswerWhenShown("alice@MLK.TEST", QStringLiteral("パス🔑"), true, true);
  const auto answer = prompt.Ask(Request());
  ASSERT_TRUE(answer);
  EXPECT_EQ(answer->credentials.user, "alice@MLK.TEST");
  EXPECT_EQ(answer->credentials.password.bytes(), "パス🔑");
  EXPECT_TRUE(answer->save);

  // Where nothing can be saved, a tick (set behind the disabled box) counts for nothing.
  AnswerWhenShown("alice", "pw", true, true);
  EXPECT_FALSE(prompt.Ask(Request(netinfo::LoginRequest::Reason::kFirst, false))->save);

  AnswerWhenShown("alice", "pw", false, false);
  EXPECT_FALSE(prompt.Ask(Request()));
}

TEST(LoginDialog, TakingTheAnswerEmptiesThePasswordFieldAndItsUndoHistory) {
  LoginDialog d(Request());
  d.UserName->setText("alice");
  QTest::keyClicks(d.Password, "secret");
  EXPECT_EQ(d.TakeAnswer().credentials.password.bytes(), "secret");
  EXPECT_TRUE(d.Password->text().isEmpty());
  d.Password->setEchoMode(QLineEdit::Normal);  // where undo is offered
  d.Password->undo();
  EXPECT_TRUE(d.Password->text().isEmpty()) << d.Password->text().toStdString();
}

TEST(LoginDialog, HeldBackCredentialsShowBothAddressesAndNamesStayText) {
  netinfo::LoginRequest request = Request();
  request.host = "<i>EVIL</i>";
  request.user = "alice";
  request.boundAddress = "192.168.100.200";
  request.address = "192.168.100.201";
  LoginDialog d(request);
  EXPECT_EQ(d.Message->textFormat(), Qt::PlainText);
  EXPECT_TRUE(d.Message->text().startsWith("<i>EVIL</i>"));
  EXPECT_TRUE(d.Moved->isVisibleTo(&d));
  EXPECT_EQ(d.Moved->text(),
            QStringLiteral("前回と異なるアドレス (192.168.100.200 → 192.168.100.201) で応答しています。"));
  EXPECT_EQ(d.UserName->text(), "alice");
  EXPECT_TRUE(d.Password->text().isEmpty());
  EXPECT_TRUE(d.OkButton->isEnabled());
  EXPECT_GE(d.Problem->geometry().top(), d.Moved->geometry().bottom());
  EXPECT_LE(d.CancelButton->geometry().bottom(), d.height());
  if (const QByteArray dir = qgetenv("MIRELKA_GRAB_DIR"); !dir.isEmpty())
    d.grab().save(QString::fromLocal8Bit(dir) + "/login-dialog-moved.png");

  request.boundAddress = "";  // saved before addresses were kept
  request.reason = netinfo::LoginRequest::Reason::kNulCharacter;
  LoginDialog unknown(request);
  EXPECT_TRUE(unknown.Moved->text().contains("192.168.100.201"));
  EXPECT_TRUE(unknown.Problem->isVisibleTo(&unknown));
  if (const QByteArray dir = qgetenv("MIRELKA_GRAB_DIR"); !dir.isEmpty())
    unknown.grab().save(QString::fromLocal8Bit(dir) + "/login-dialog-unknown.png");
}

TEST(Launcher, UrlCarriesTheUserNameNeverMore) {
  const UserForHost userFor = [](const std::string& host) -> std::string {
    if (host == "LOCKED") return "daemon";
    if (host == "DC") return "MLK\\alice";
    if (host == "UPN") return "alice@mlk.test";
    return {};
  };
  const auto url = [&](const char* unc) { return SmbUrlForCommandLine(ExplorerCommandLine(unc), userFor); };
  EXPECT_EQ(url("\\\\LOCKED\\locked data"), QByteArray("smb://daemon@LOCKED/locked%20data"));
  EXPECT_EQ(url("\\\\DC"), QByteArray("smb://MLK;alice@DC"));
  EXPECT_EQ(url("\\\\UPN\\s"), QByteArray("smb://alice%40mlk.test@UPN/s"));
  EXPECT_EQ(url("\\\\OPEN\\LOCKED"), QByteArray("smb://OPEN/LOCKED"));  // only the host part
}

}  // namespace
