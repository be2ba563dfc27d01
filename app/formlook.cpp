#include "formlook.h"

#include <QGuiApplication>
#include <QScreen>
#include <QWidget>

QString FormFontFamily() { return QStringLiteral("ＭＳ Ｐゴシック"); }

QFont FormFont(int pixelSize) {
  QFont font(FormFontFamily());
  font.setPixelSize(pixelSize);
  return font;
}

void SetFormLook(QWidget* form) {
  form->setAutoFillBackground(true);
  form->setBackgroundRole(QPalette::Button);
  form->setFont(FormFont(12));
}

void CentreOnScreen(QWidget* form) {
  if (const QScreen* screen = QGuiApplication::primaryScreen())
    form->move(screen->availableGeometry().center() - form->rect().center());
}
