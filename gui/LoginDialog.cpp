#include "LoginDialog.h"

#include <algorithm>

#include <QApplication>
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include "formlook.h"

namespace {

// Names in these texts come from the network: never read as markup.
QLabel* Caption(QWidget* parent, const QString& text, QRect geometry) {
  auto* label = new QLabel(parent);
  label->setTextFormat(Qt::PlainText);
  label->setText(text);
  label->setGeometry(geometry);
  return label;
}

QString FromUtf8(const std::string& text) {
  return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

QString MovedText(const netinfo::LoginRequest& request) {
  if (!request.boundAddress) return {};
  const QString now = FromUtf8(request.address);
  if (request.boundAddress->empty())
    return QStringLiteral("保存時のアドレスが不明です。今回は %1 で応答しています。").arg(now);
  return QStringLiteral("前回と異なるアドレス (%1 → %2) で応答しています。").arg(FromUtf8(*request.boundAddress), now);
}

void SetWarningColour(QLabel* label) {
  QPalette warning = label->palette();
  warning.setColor(QPalette::WindowText, QColor(192, 0, 0));
  label->setPalette(warning);
  label->setForegroundRole(QPalette::WindowText);  // on the button face it would be ButtonText
}

// Empties a line edit together with its undo history: clear() is itself a
// step that undo reverses, so the history would still hold the text.
void Forget(QLineEdit* edit) { edit->setText(QString()); }

QString ProblemText(netinfo::LoginRequest::Reason reason) {
  switch (reason) {
    case netinfo::LoginRequest::Reason::kWrongCredentials:
      return QStringLiteral("ユーザー名またはパスワードが正しくありません。");
    case netinfo::LoginRequest::Reason::kTooLong:
      return QStringLiteral("ユーザー名とパスワードはそれぞれ 255 バイトまでです。");
    case netinfo::LoginRequest::Reason::kNulCharacter:
      return QStringLiteral("ユーザー名とパスワードに NUL 文字は使えません。");
    case netinfo::LoginRequest::Reason::kFirst:
      break;
  }
  return {};
}

}  // namespace

LoginDialog::LoginDialog(const netinfo::LoginRequest& request, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::WindowTitleHint | Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint) {
  // The main window's look: its font, its grey face, fixed geometry.
  setObjectName("LoginDialog");
  setWindowTitle(QStringLiteral("Mirelka"));
  SetFormLook(this);

  const QString host = FromUtf8(request.host);
  Message = Caption(this, QStringLiteral("%1 に接続するためのユーザー名とパスワードを入力してください。").arg(host),
                    {12, 10, 316, 30});
  Message->setObjectName("Message");
  Message->setWordWrap(true);
  // The address line, when shown, takes two lines above the problem line
  // and pushes the rest down. Each text is given the height it takes in the
  // font at hand (a stand-in for the forms' font may be taller, a long name
  // may need a third line); what lies below moves down by what they add.
  const QString moved = MovedText(request);
  Moved = Caption(this, moved, {12, 43, 316, 28});
  Moved->setObjectName("Moved");
  Moved->setWordWrap(true);
  SetWarningColour(Moved);
  Moved->setVisible(!moved.isEmpty());
  Problem = Caption(this, ProblemText(request.reason), {12, 45, 316, 14});
  const int messageHeight = std::max(30, Message->heightForWidth(316));
  const int movedHeight = std::max(28, Moved->heightForWidth(316));
  const int problemHeight = std::max(14, Problem->fontMetrics().height());
  Message->resize(316, messageHeight);
  Moved->setGeometry(12, 13 + messageHeight, 316, movedHeight);
  const int shift = messageHeight - 30 + (moved.isEmpty() ? 0 : movedHeight + 2) + problemHeight - 14;
  Problem->setGeometry(12, 45 + shift - problemHeight + 14, 316, problemHeight);
  setFixedSize(340, 178 + shift);
  Problem->setObjectName("Problem");
  SetWarningColour(Problem);
  Problem->setVisible(request.reason != netinfo::LoginRequest::Reason::kFirst);

  Caption(this, QStringLiteral("ユーザー名"), {12, 72 + shift, 70, 12});
  UserName = new QLineEdit(this);
  UserName->setObjectName("UserName");
  UserName->setGeometry(88, 68 + shift, 240, 20);
  UserName->setPlaceholderText(QStringLiteral("user / DOMAIN\\user / user@realm"));
  Caption(this, QStringLiteral("パスワード"), {12, 98 + shift, 70, 12});
  Password = new QLineEdit(this);
  Password->setObjectName("Password");
  Password->setGeometry(88, 94 + shift, 240, 20);
  Password->setEchoMode(QLineEdit::Password);

  SavePassword = new QCheckBox(QStringLiteral("パスワードを保存する"), this);
  SavePassword->setObjectName("SavePassword");
  SavePassword->setGeometry(88, 120 + shift, 240, 17);
  SavePassword->setEnabled(request.canSave);
  if (!request.canSave)
    SavePassword->setToolTip(
        QStringLiteral("キーリングが使えないため保存できません。パスワードはこの起動中だけ記憶されます。"));

  OkButton = new QPushButton(QStringLiteral("OK"), this);
  OkButton->setObjectName("OkButton");
  OkButton->setGeometry(172, 145 + shift, 75, 25);
  OkButton->setDefault(true);
  OkButton->setEnabled(false);
  CancelButton = new QPushButton(QStringLiteral("キャンセル"), this);
  CancelButton->setObjectName("CancelButton");
  CancelButton->setGeometry(253, 145 + shift, 75, 25);
  CancelButton->setAutoDefault(false);

  FitCaptions(this);

  connect(UserName, &QLineEdit::textChanged, this,
          [this](const QString& text) { OkButton->setEnabled(!text.isEmpty()); });
  connect(OkButton, &QPushButton::clicked, this, &QDialog::accept);
  connect(CancelButton, &QPushButton::clicked, this, &QDialog::reject);
  // The user of credentials held back is filled in; only the password is asked.
  UserName->setText(FromUtf8(request.user));
  if (request.user.empty())
    UserName->setFocus();
  else
    Password->setFocus();
}

LoginDialog::~LoginDialog() { Forget(Password); }

netinfo::LoginAnswer LoginDialog::TakeAnswer() {
  netinfo::LoginAnswer answer;
  answer.credentials.user = UserName->text().toStdString();
  answer.save = SavePassword->isEnabled() && SavePassword->isChecked();
  QString typed = Password->text();
  Forget(Password);  // the field lets go of its text and history: typed is the only holder
  QByteArray utf8 = typed.toUtf8();
  answer.credentials.password = netinfo::Secret(utf8.constData(), static_cast<size_t>(utf8.size()));
  netinfo::WipeBytes(utf8.data(), static_cast<size_t>(utf8.size()));
  netinfo::WipeBytes(typed.data(), static_cast<size_t>(typed.size()) * sizeof(QChar));
  return answer;
}

std::optional<netinfo::LoginAnswer> LoginDialogPrompt::Ask(const netinfo::LoginRequest& request) {
  LoginDialog dialog(request, QApplication::activeWindow());
  if (dialog.exec() != QDialog::Accepted) return std::nullopt;
  return dialog.TakeAnswer();
}
