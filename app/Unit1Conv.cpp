// The name and address conversion box.
#include <QLineEdit>

#include "Unit1.h"
#include "Unit1Text.h"

namespace {

// Puts the placeholder in the target, pumps so it shows, then converts the
// source field's text as it stands after the pump.
void Convert(UiServices& ui, netlib::ConvFn fn, netlib::ConvBuffer<256>& buffer, QLineEdit* source, QLineEdit* target) {
  target->setText(QStringLiteral("working..."));
  ui.ProcessMessages();
  buffer.SetInput(Bytes(source->text()));
  const uint16_t result = netlib::Call(fn, buffer);
  target->setText(result == 0 ? Text(buffer.Output()) : QStringLiteral("Err ") + Text(buffer.Output()));
}

}  // namespace

void TForm1::Button9Click() {
  netlib::ConvBuffer<256> buffer;
  if (!Edit16->text().isEmpty() && !Edit17->text().isEmpty()) {
    deps_.ui->MessageBox(QStringLiteral("名前とIPが埋まっています"));
    return;
  }
  if (Edit16->text().isEmpty()) Convert(*deps_.ui, library_.iptoname, buffer, Edit17, Edit16);
  if (Edit17->text().isEmpty()) Convert(*deps_.ui, library_.nametoip, buffer, Edit16, Edit17);
}

void TForm1::Button10Click() {
  Edit16->clear();
  Edit17->clear();
}
