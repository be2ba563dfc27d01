#include "formlook.h"

#include <algorithm>

#include <QAbstractButton>
#include <QCheckBox>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QStyle>
#include <QStyleOptionButton>
#include <QToolButton>
#include <QWidget>

QString FormFontFamily() { return QStringLiteral("ＭＳ Ｐゴシック"); }

void UseStandInFonts() {
  QFont::insertSubstitutions(FormFontFamily(), {QStringLiteral("IPAPGothic"), QStringLiteral("IPAGothic"),
                                                QStringLiteral("Noto Sans CJK JP"), QStringLiteral("VL PGothic")});
}

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

QFont Condensed(const QFont& font, const QString& text, int room) {
  const int wide = QFontMetrics(font).horizontalAdvance(text);
  if (wide <= room || wide <= 0) return font;
  QFont narrow = font;
  // Glyphs are scaled in whole percent and rounded to pixels: step down from
  // the ratio until the text fits.
  const int now = font.stretch() > 0 ? font.stretch() : 100;
  for (int stretch = std::max(50, now * room / wide); stretch >= 50; --stretch) {
    narrow.setStretch(stretch);
    if (QFontMetrics(narrow).horizontalAdvance(text) <= room) break;
  }
  return narrow;
}

namespace {

// The width a control gives its one-line caption, as the style lays it out;
// -1 for a control without one.
int CaptionRoom(QWidget* w, QString* text) {
  if (auto* label = qobject_cast<QLabel*>(w)) {
    if (label->wordWrap() || label->text().isEmpty()) return -1;
    *text = label->text();
    return label->contentsRect().width() - 2 * label->margin() - 2 * std::max(label->indent(), 0);
  }
  auto* button = qobject_cast<QAbstractButton*>(w);
  if (!button || button->text().isEmpty()) return -1;
  *text = button->text();
  QStyleOptionButton option;
  option.initFrom(button);
  option.text = button->text();
  // A push button keeps the margin its style pads a caption with, so that the
  // caption does not touch the bevel.
  if (qobject_cast<QPushButton*>(w))
    return w->style()->subElementRect(QStyle::SE_PushButtonContents, &option, w).width() -
           w->style()->pixelMetric(QStyle::PM_ButtonMargin, &option, w);
  if (qobject_cast<QCheckBox*>(w)) return w->style()->subElementRect(QStyle::SE_CheckBoxContents, &option, w).width();
  if (qobject_cast<QToolButton*>(w))
    return w->width() - 2 * w->style()->pixelMetric(QStyle::PM_DefaultFrameWidth, nullptr, w);
  return -1;
}

}  // namespace

void FitCaptions(QWidget* root) {
  for (QWidget* w : root->findChildren<QWidget*>()) {
    QString text;
    const int room = CaptionRoom(w, &text);
    if (room < 0) continue;
    const QFont narrow = Condensed(w->font(), text, room);
    if (narrow != w->font()) w->setFont(narrow);
  }
}
