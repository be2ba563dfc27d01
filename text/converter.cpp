// Code page 932 shown as UTF-8, over whichever converter the platform has.
#include <cstdio>

#include "converter.h"

namespace textconv {

std::string Cp932ToUtf8Escaped(std::string_view bytes) {
  Converter converter("UTF-8", "CP932");
  std::string out;
  for (size_t i = 0; i < bytes.size();) {
    // One character at a time: a double-byte one first, else a single byte.
    char utf8[8];
    bool done = false;
    for (size_t width = 2; width >= 1 && !done; --width) {
      if (i + width > bytes.size()) continue;
      if (const auto n = converter.Convert(bytes.data() + i, width, utf8, sizeof utf8)) {
        out.append(utf8, *n);
        i += width;
        done = true;
      }
    }
    if (!done) {
      char escaped[8];
      std::snprintf(escaped, sizeof escaped, "\\x%02X", static_cast<unsigned char>(bytes[i]));
      out += escaped;
      ++i;
    }
  }
  return out;
}

}  // namespace textconv
