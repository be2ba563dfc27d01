#pragma once
// Keeps a field from taking text that code page 932 cannot hold, whether it
// is typed, pasted or edited in.
#include <QValidator>

class Cp932Validator : public QValidator {
  Q_OBJECT

 public:
  using QValidator::QValidator;
  State validate(QString& input, int& pos) const override;
};
