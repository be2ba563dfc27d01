#include "LoginDialog.h"

#include <QApplication>
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include "formlook.h"

namespace {

QLabel* Caption(QWidget* parent, const QString& text, QRect geometry) {
  auto* label = new QLabel(text, parent);
  label->setGeometry(geometry);
  return label;
}

QString ProblemText(netinfo::LoginRequest::Reason reason) {
  switch (reason) {
    case netinfo::LoginRequest::Reason::kWrongCredentials:
      return QStringLiteral("ユーザー名またはパスワードが正しくありません。");
    case netinfo::LoginRequest::Reason::kTooLong:
      return QStringLiteral("ユーザー名とパスワードはそれぞれ 255 バイトまでです。");
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
  setFixedSize(340, 178);
  SetFormLook(this);

  const QString host = QString::fromUtf8(request.host.data(), static_cast<qsizetype>(request.host.size()));
  Message = Caption(this, QStringLiteral("%1 に接続するためのユーザー名とパスワードを入力してください。").arg(host),
                    {12, 10, 316, 30});
  Message->setObjectName("Message");
  Message->setWordWrap(true);
  Problem = Caption(this, ProblemText(request.reason), {12, 45, 316, 14});
  Problem->setObjectName("Problem");
  QPalette warning = Problem->palette();
  warning.setColor(QPalette::WindowText, QColor(192, 0, 0));
  Problem->setPalette(warning);
  Problem->setVisible(request.reason != netinfo::LoginRequest::Reason::kFirst);

  Caption(this, QStringLiteral("ユーザー名"), {12, 72, 70, 12});
  UserName = new QLineEdit(this);
  UserName->setObjectName("UserName");
  UserName->setGeometry(88, 68, 240, 20);
  UserName->setPlaceholderText(QStringLiteral("user / DOMAIN\\user / user@realm"));
  Caption(this, QStringLiteral("パスワード"), {12, 98, 70, 12});
  Password = new QLineEdit(this);
  Password->setObjectName("Password");
  Password->setGeometry(88, 94, 240, 20);
  Password->setEchoMode(QLineEdit::Password);

  SavePassword = new QCheckBox(QStringLiteral("パスワードを保存する"), this);
  SavePassword->setObjectName("SavePassword");
  SavePassword->setGeometry(88, 120, 240, 17);
  SavePassword->setEnabled(request.canSave);
  if (!request.canSave)
    SavePassword->setToolTip(
        QStringLiteral("キーリングが使えないため保存できません。パスワードはこの起動中だけ記憶されます。"));

  OkButton = new QPushButton(QStringLiteral("OK"), this);
  OkButton->setObjectName("OkButton");
  OkButton->setGeometry(172, 145, 75, 25);
  OkButton->setDefault(true);
  OkButton->setEnabled(false);
  CancelButton = new QPushButton(QStringLiteral("キャンセル"), this);
  CancelButton->setObjectName("CancelButton");
  CancelButton->setGeometry(253, 145, 75, 25);
  CancelButton->setAutoDefault(false);

  connect(UserName, &QLineEdit::textChanged, this,
          [this](const QString& text) { OkButton->setEnabled(!text.isEmpty()); });
  connect(OkButton, &QPushButton::clicked, this, &QDialog::accept);
  connect(CancelButton, &QPushButton::clicked, this, &QDialog::reject);
  UserName->setFocus();
}

LoginDialog::~LoginDialog() { Password->clear(); }

netinfo::LoginAnswer LoginDialog::TakeAnswer() {
  netinfo::LoginAnswer answer;
  answer.credentials.user = UserName->text().toStdString();
  answer.save = SavePassword->isEnabled() && SavePassword->isChecked();
  QString typed = Password->text();
  Password->clear();  // the field lets go of its text: typed is the only holder
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
