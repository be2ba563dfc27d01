#include "cp932validator.h"

#include <QLineEdit>
#include <QToolTip>

#include "cp932.h"

Cp932Validator::Cp932Validator(QLineEdit* field) : QValidator(field), field_(field) {
  connect(field, &QLineEdit::textEdited, this, [this] {
    if (!showingReason_) return;
    showingReason_ = false;
    field_->setToolTip(QString());
  });
}

QString Cp932Validator::Reason(const QString& character) {
  const uint cp = character.toUcs4().value(0);
  return QStringLiteral("「%1」(U+%2) はコードページ932で表せないため入力できません")
      .arg(character, QString::number(cp, 16).toUpper().rightJustified(4, QLatin1Char('0')));
}

QValidator::State Cp932Validator::validate(QString& input, int&) const {
  input = cp932::FoldTwins(input);
  const QString character = cp932::FirstUnencodable(input);
  if (character.isEmpty()) return Acceptable;
  const QString reason = Reason(character);
  showingReason_ = true;
  field_->setToolTip(reason);
  if (field_->isVisible()) QToolTip::showText(field_->mapToGlobal(QPoint(0, field_->height())), reason, field_);
  emit refused(reason);
  return Invalid;
}
