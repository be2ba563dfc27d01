#pragma once
// The widget boundary: controls hold QString, everything behind them code
// page 932 bytes. Both directions round-trip (see cp932.h), and the fields
// refuse text that code page 932 cannot hold.
#include <QString>
#include <string>
#include <string_view>

#include "cp932.h"

inline QString Text(std::string_view bytes) { return cp932::Decode(bytes); }
inline std::string Bytes(const QString& text) { return cp932::EncodeLossy(text); }
