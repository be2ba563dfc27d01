#include <QCoreApplication>
#include <QMessageBox>
#include <QPointer>

#include "launcher.h"
#include "uiservices.h"

namespace {

class DesktopUiServices final : public UiServices {
 public:
  DesktopUiServices(QWidget* owner, UserForHost userFor) : owner_(owner), userFor_(std::move(userFor)) {}

  void MessageBox(const QString& text) override { Show(QMessageBox::NoIcon, text); }
  void ErrorBox(const QString& text) override { Show(QMessageBox::Critical, text); }
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
