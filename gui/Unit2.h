#pragma once
// The splash window shown while the main window is being filled.
#include <QWidget>

class QLabel;

class TForm2 : public QWidget {
  Q_OBJECT

 public:
  explicit TForm2(QWidget* owner);
  QLabel* Label1 = nullptr;
};
