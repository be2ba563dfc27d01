// The connection watch on the selected computer.
#include <QScopedValueRollback>
#include <QTimer>
#include <QToolButton>

#include "TListView.h"
#include "Unit1.h"
#include "Unit1Text.h"

void TForm1::SpeedButton1Click() {
  if (ListView3->SelectedRow() < 0) {
    deps_.ui->MessageBox(QStringLiteral("コンピュータ名を選んでください"));
    SetSpeedButtonUp();
    repeatping->stop();
    return;
  }
  if (!SpeedButton1->isChecked())
    repeatping->stop();
  else if (!repeatping->isActive())  // enabling a running timer keeps its interval
    repeatping->start();
}

void TForm1::repeatpingTimer() {
  // A tick that falls due inside a running tick's pumps is dropped.
  if (tickRunning_) return;
  const QScopedValueRollback<bool> running(tickRunning_, true);

  SetStatus(QStringLiteral("接続確認中..."));
  deps_.ui->ProcessMessages();
  if (library_.init) library_.init();
  SpeedButton1->setEnabled(false);

  const int row = ListView3->SelectedRow();
  if (row < 0) {
    repeatping->stop();
    SetSpeedButtonUp();
    deps_.ui->MessageBox(QStringLiteral("コンピュータ名を選んでください"));
  } else {
    netlib::ConvBuffer<512> buffer;
    buffer.SetInput(cp932::removeBackslashes(Bytes(ListView3->Caption(row))));
    if (netlib::Call(library_.connectpc, buffer) == 0) {
      ListView3->SetSubItem(row, Text(buffer.Output()));
      repeatping->stop();
      SetSpeedButtonUp();
      SetStatus(QStringLiteral("接続確認成功"));
    } else {
      ListView3->SetSubItem(row, QStringLiteral("Err ") + Text(buffer.Output()));
      SetStatus(QStringLiteral("接続確認失敗"));
    }
    deps_.ui->ProcessMessages();
  }
  SpeedButton1->setEnabled(true);
  SetStatus(QStringLiteral("接続確認終了"));
  deps_.ui->ProcessMessages();
}
