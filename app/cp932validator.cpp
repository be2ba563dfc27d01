#include "cp932validator.h"

#include "cp932.h"

QValidator::State Cp932Validator::validate(QString& input, int&) const {
  return cp932::canEncode(input) ? Acceptable : Invalid;
}
