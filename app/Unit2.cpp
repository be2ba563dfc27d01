#include "Unit2.h"

#include <QGuiApplication>
#include <QLabel>
#include <QScreen>

TForm2::TForm2(QWidget* owner) : QWidget(owner, Qt::SplashScreen | Qt::FramelessWindowHint) {
  setObjectName("Form2");
  setAttribute(Qt::WA_DeleteOnClose, false);
  setFixedSize(259, 50);
  setAutoFillBackground(true);
  setBackgroundRole(QPalette::Button);

  Label1 = new QLabel(QStringLiteral("Mirelkaを起動しています"), this);
  Label1->setObjectName("Label1");
  Label1->setGeometry(8, 8, 248, 21);
  QFont font(QStringLiteral("ＭＳ Ｐゴシック"));
  font.setPixelSize(21);
  Label1->setFont(font);
  QPalette palette = Label1->palette();
  palette.setColor(QPalette::WindowText, Qt::red);
  Label1->setPalette(palette);

  if (const QScreen* screen = QGuiApplication::primaryScreen())
    move(screen->availableGeometry().center() - rect().center());
}
