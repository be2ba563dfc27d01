// Fuzz target for the list file's text: any bytes must parse without a crash
// or an unbounded result, the count rule must agree with a plain reference,
// and every list of names must survive a save and a load byte for byte.
#include <cstdint>
#include <cstdlib>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "pclist.h"

namespace {

void Check(bool ok) {
  if (!ok) std::abort();
}

// The count rule written out the slow way, with the C library's converters.
std::optional<int32_t> ReferenceCount(std::string_view line) {
  while (!line.empty() && line.front() == ' ') line.remove_prefix(1);
  if (line.empty()) return std::nullopt;
  int base = 10;
  bool signAllowed = true;
  if (line.front() == '$' || line.front() == 'x' || line.front() == 'X') {
    line.remove_prefix(1);
    base = 16;
  } else if (line.size() >= 2 && line[0] == '0' && (line[1] == 'x' || line[1] == 'X')) {
    line.remove_prefix(2);
    base = 16;
  }
  if (base == 16) signAllowed = false;
  bool negative = false;
  if (signAllowed && (line.front() == '+' || line.front() == '-')) {
    negative = line.front() == '-';
    line.remove_prefix(1);
  }
  if (line.empty()) return std::nullopt;
  for (char c : line) {
    const bool digit = (c >= '0' && c <= '9') || (base == 16 && ((c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F')));
    if (!digit) return std::nullopt;
  }
  // Leading zeros do not count toward the range.
  const size_t firstNonZero = line.find_first_not_of('0');
  const std::string digits(firstNonZero == std::string_view::npos ? "0" : line.substr(firstNonZero));
  if (digits.size() > 10) return std::nullopt;
  const unsigned long long value = std::strtoull(digits.c_str(), nullptr, base);
  if (base == 16) {
    if (value > 0xFFFFFFFFull) return std::nullopt;
    return static_cast<int32_t>(static_cast<uint32_t>(value));
  }
  if (value > (negative ? 2147483648ull : 2147483647ull)) return std::nullopt;
  return static_cast<int32_t>(negative ? -static_cast<long long>(value) : static_cast<long long>(value));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);

  const std::vector<std::string> lines = pclist::SplitLines(text);
  size_t bytes = 0;
  for (const std::string& line : lines) {
    Check(line.find_first_of("\r\n") == std::string::npos);
    bytes += line.size() + 1;  // each line had a line end, except perhaps the last
  }
  Check(bytes <= size + 1);
  Check(lines.size() <= size);

  const pclist::ParseResult parsed = pclist::Parse(text);
  Check(parsed.names.size() <= lines.size() + static_cast<size_t>(pclist::kMaxMissingRows));

  Check(pclist::ParseCount(text) == ReferenceCount(text));

  // Any line-free names round-trip exactly; the lines of the input are such names.
  const std::string saved = pclist::Format(lines);
  const pclist::ParseResult loaded = pclist::Parse(saved);
  Check(!loaded.failure);
  Check(loaded.names == lines);
  Check(pclist::Format(loaded.names) == saved);
  return 0;
}
