#pragma once
// Keeps a field from taking text that code page 932 cannot hold, whether it
// is typed, pasted or edited in. A JIS-mapped twin (a WAVE DASH typed by an
// input method on Linux) becomes the code page's own character in the field,
// so the field shows what will be stored. A refused character is never
// dropped in silence: the field's tooltip names it until the next accepted
// edit, and refused() gives the same reason to whoever shows a status line.
#include <QValidator>

class QLineEdit;

class Cp932Validator : public QValidator {
  Q_OBJECT

 public:
  explicit Cp932Validator(QLineEdit* field);
  State validate(QString& input, int& pos) const override;

  // The reason shown for a character that cannot be held, in Japanese.
  static QString Reason(const QString& character);

 signals:
  void refused(const QString& reason) const;

 private:
  QLineEdit* field_;
  mutable bool showingReason_ = false;
};
