#include "Unit2.h"

#include <QLabel>

#include "formlook.h"

TForm2::TForm2(QWidget* owner) : QWidget(owner, Qt::SplashScreen | Qt::FramelessWindowHint) {
  setObjectName("Form2");
  setAttribute(Qt::WA_DeleteOnClose, false);
  setFixedSize(259, 50);
  SetFormLook(this);

  Label1 = new QLabel(QStringLiteral("Mirelkaを起動しています"), this);
  Label1->setObjectName("Label1");
  Label1->setGeometry(8, 8, 248, 21);
  Label1->setFont(FormFont(21));
  QPalette palette = Label1->palette();
  palette.setColor(QPalette::WindowText, Qt::red);
  Label1->setPalette(palette);
  // On the button face a child's text role is ButtonText unless it says
  // otherwise, and the red would never show.
  Label1->setForegroundRole(QPalette::WindowText);
  FitCaptions(this);

  CentreOnScreen(this);
}
