// The name and address conversion box.
#include <QLineEdit>
#include <memory>

#include "Unit1.h"
#include "Unit1Text.h"

// Puts the placeholder in the target, converts the source field's text on a
// thread of its own, and fills the target when the answer comes; then runs
// then.
void TForm1::Convert(netlib::ConvFn fn, QLineEdit* source, QLineEdit* target, std::function<void()> then) {
  target->setText(QStringLiteral("working..."));
  const std::string input = Bytes(source->text());
  deps_.engines->calls.Run(
      [fn, input, target, then] {
        auto answer = std::make_shared<base::Result<std::string>>(netlib::Convert(fn, input));
        return std::function<void()>([answer, target, then] {
          target->setText(Text(netlib::Shown(*answer)));
          if (then) then();
        });
      },
      // The target was empty before the placeholder: it is again.
      [this, target] {
        target->clear();
        converting_ = false;
      });
}

void TForm1::Button9Click() {
  // A second press while a conversion runs is ignored.
  if (converting_) return;
  ConvertNext(std::nullopt);
}

void TForm1::ConvertNext(std::optional<netlib::ConversionStep> ended) {
  using Step = netlib::ConversionStep;
  const Step step = netlib::NextConversionStep(!Edit16->text().isEmpty(), !Edit17->text().isEmpty(), ended);
  switch (step) {
    case Step::kBothFilled:
      deps_.ui->MessageBox(QStringLiteral("名前とIPが埋まっています"));
      return;
    case Step::kDone:
      converting_ = false;
      return;
    case Step::kNameFromAddress:
      converting_ = true;
      Convert(library_.iptoname, Edit17, Edit16, [this, step] { ConvertNext(step); });
      return;
    case Step::kAddressFromName:
      converting_ = true;
      Convert(library_.nametoip, Edit16, Edit17, [this, step] { ConvertNext(step); });
      return;
  }
}

void TForm1::Button10Click() {
  Edit16->clear();
  Edit17->clear();
}
