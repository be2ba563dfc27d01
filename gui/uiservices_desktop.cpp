#include <QCoreApplication>
#include <QDialog>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include <QPointer>

#include "formlook.h"
#include "uiservices_desktop.h"

namespace {

class DesktopUiServices final : public UiServices {
 public:
  DesktopUiServices(QWidget* owner, UserForHost userFor) : owner_(owner), userFor_(std::move(userFor)) {}

  void MessageBox(const QString& text) override { Show(QMessageBox::NoIcon, text); }
  void ErrorBox(const QString& text) override { Show(QMessageBox::Critical, text); }
  bool Question(const QString& text, const QString& yes, const QString& no) override {
    QMessageBox box(QMessageBox::Question, QStringLiteral("Mirelka"), text, QMessageBox::NoButton, owner_.data());
    box.setTextFormat(Qt::PlainText);
    QPushButton* accept = box.addButton(yes, QMessageBox::YesRole);
    box.setDefaultButton(box.addButton(no, QMessageBox::NoRole));
    box.exec();
    return box.clickedButton() == accept;
  }

  void ShowReport(const QString& title, const QString& text) override {
    QDialog dialog(owner_.data());
    dialog.setWindowTitle(title);
    SetFormLook(&dialog);
    auto* layout = new QVBoxLayout(&dialog);
    auto* view = new QPlainTextEdit(text, &dialog);
    view->setObjectName(QStringLiteral("report"));
    view->setReadOnly(true);
    view->setLineWrapMode(QPlainTextEdit::NoWrap);
    view->setMinimumSize(520, 220);
    layout->addWidget(view);
    auto* close = new QPushButton(QStringLiteral("閉じる"), &dialog);
    QObject::connect(close, &QPushButton::clicked, &dialog, &QDialog::accept);
    layout->addWidget(close, 0, Qt::AlignRight);
    dialog.exec();
  }

  void ProcessMessages() override { QCoreApplication::processEvents(QEventLoop::AllEvents); }

  void Launch(const std::string& commandLine, const std::string& uncText) override {
    StartFileManager(commandLine, uncText, userFor_);
  }

 private:
  void Show(QMessageBox::Icon icon, const QString& text) {
    QMessageBox box(icon, QStringLiteral("Mirelka"), text, QMessageBox::Ok, owner_.data());
    // The text carries names from the network and the list file: a name
    // such as "<i>x</i>" is shown as written, never as markup.
    box.setTextFormat(Qt::PlainText);
    box.exec();
  }

  QPointer<QWidget> owner_;
  UserForHost userFor_;
};

}  // namespace

std::unique_ptr<UiServices> MakeDesktopUiServices(QWidget* owner, UserForHost userFor) {
  return std::make_unique<DesktopUiServices>(owner, std::move(userFor));
}
