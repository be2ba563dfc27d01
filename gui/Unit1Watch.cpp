// The connection watch on the selected computer.
#include <memory>
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
  // A tick that falls due while one runs is dropped.
  if (!watch_.BeginTick()) return;

  SetStatus(QStringLiteral("接続確認中..."));
  SpeedButton1->setEnabled(false);
  const auto finish = [this] {
    SpeedButton1->setEnabled(true);
    SetStatus(QStringLiteral("接続確認終了"));
  };

  const int row = ListView3->SelectedRow();
  if (row < 0) {
    repeatping->stop();
    SetSpeedButtonUp();
    deps_.ui->MessageBox(QStringLiteral("コンピュータ名を選んでください"));
    finish();
    watch_.AbandonTick();
    return;
  }
  // The check runs on a thread of its own; the window goes on meanwhile.
  const QString caption = ListView3->Caption(row);
  deps_.engines->calls.Run(
      [this, row, caption, finish] {
        auto answer = std::make_shared<base::Result<std::string>>(watch_.Check(Bytes(caption)));
        return std::function<void()>([this, row, caption, finish, answer] {
          // The row may have gone meanwhile (the list was replaced).
          if (row < ListView3->RowCount() && ListView3->Caption(row) == caption)
            ListView3->SetSubItem(row, Text(netlib::Shown(*answer)));
          if (watch_.EndTick(*answer)) {
            repeatping->stop();
            SetSpeedButtonUp();
            SetStatus(QStringLiteral("接続確認成功"));
          } else {
            SetStatus(QStringLiteral("接続確認失敗"));
          }
          finish();
        });
      },
      [this, finish] {
        finish();
        watch_.AbandonTick();
      });
}
