// The list file's text: its path, its lines, the count rule, reading and
// writing the sections. Pure functions over bytes without Qt; the file I/O is
// in listfile.cpp.
#include "pclist.h"

#include <algorithm>
#include <charconv>
#include <cstddef>
#include <filesystem>
#include <utility>

namespace pclist {
namespace {

constexpr std::string_view kSection = "[WGPCLIST]";
constexpr std::string_view kLineEnd = "\r\n";

// " は整数ではありません" in code page 932; a fixed text needs no codec here.
constexpr std::string_view kNotIntegerTail =
    "\x20\x82\xcd\x90\xae\x90\x94\x82\xc5\x82\xcd\x82\xa0\x82\xe8\x82\xdc\x82\xb9\x82\xf1";

// Lines as views into text, so a large file is not copied twice on load.
std::vector<std::string_view> SplitViews(std::string_view text) {
  std::vector<std::string_view> lines;
  size_t start = 0;
  while (start < text.size()) {
    const size_t end = text.find_first_of("\r\n", start);
    if (end == std::string_view::npos) {
      lines.push_back(text.substr(start));
      break;
    }
    lines.push_back(text.substr(start, end - start));
    start = end + 1;
    if (text[end] == '\r' && start < text.size() && text[start] == '\n') ++start;
  }
  return lines;
}

// The whole of digits as an unsigned number in base; nothing when it is
// empty, holds anything else (a sign included) or does not fit 64 bits.
std::optional<uint64_t> ParseDigits(std::string_view digits, int base) {
  if (digits.empty() || digits.front() == '-' || digits.front() == '+') return std::nullopt;
  uint64_t value = 0;
  const char* end = digits.data() + digits.size();
  const auto [stop, error] = std::from_chars(digits.data(), end, value, base);
  if (error != std::errc() || stop != end) return std::nullopt;
  return value;
}

// One or more hexadecimal digits and nothing else, at most 0xFFFFFFFF in
// value (leading zeros do not count), taken as the bits of a signed value.
std::optional<int32_t> ParseHex(std::string_view digits) {
  const std::optional<uint64_t> value = ParseDigits(digits, 16);
  if (!value || *value > 0xFFFFFFFFu) return std::nullopt;
  return static_cast<int32_t>(static_cast<uint32_t>(*value));
}

// One or more decimal digits and nothing else, within the signed 32-bit range.
std::optional<int32_t> ParseDecimal(std::string_view digits, bool negative) {
  const std::optional<uint64_t> value = ParseDigits(digits, 10);
  const uint64_t limit = negative ? 2147483648u : 2147483647u;
  if (!value || *value > limit) return std::nullopt;
  return static_cast<int32_t>(negative ? -static_cast<int64_t>(*value) : static_cast<int64_t>(*value));
}

std::string NotAnInteger(std::string_view line) {
  std::string text;
  text.reserve(line.size() + 2 + kNotIntegerTail.size());
  text.append("'").append(line).append("'").append(kNotIntegerTail);
  return text;
}

}  // namespace

base::Failure FileFailure(std::string_view shownPath, FileProblem problem) {
  std::string text = "\x83\x74\x83\x40\x83\x43\x83\x8b\x20";  // "ファイル "
  text.append(shownPath);
  switch (problem) {
    case FileProblem::kCannotOpen:
      text.append("\x20\x82\xcd\x8a\x4a\x82\xaf\x82\xdc\x82\xb9\x82\xf1");  // " は開けません"
      break;
    case FileProblem::kCannotCreate:
      text.append("\x20\x82\xf0\x8d\xec\x90\xac\x82\xc5\x82\xab\x82\xdc\x82\xb9\x82\xf1");  // " を作成できません"
      break;
    case FileProblem::kTooBig:  // " は大きすぎて読めません"
      text.append("\x20\x82\xcd\x91\xe5\x82\xab\x82\xb7\x82\xac\x82\xc4\x93\xc7\x82\xdf\x82\xdc\x82\xb9\x82\xf1");
      break;
  }
  return base::Failure{static_cast<int>(problem), std::move(text)};
}

std::string ListFilePath(const std::string& executablePath) {
  // A dot that begins the file name (".hidden") marks a hidden file, not an
  // extension, and "." or ".." have none: ".ini" is then appended.
  return std::filesystem::path(executablePath).replace_extension(".ini").string();
}

std::string BackupPath(const std::string& path) { return path + ".bak"; }

std::vector<std::string> SplitLines(std::string_view text) {
  const std::vector<std::string_view> views = SplitViews(text);
  return std::vector<std::string>(views.begin(), views.end());
}

std::optional<int32_t> ParseCount(std::string_view line) {
  const size_t start = line.find_first_not_of(' ');
  if (start == std::string_view::npos) return std::nullopt;
  std::string_view rest = line.substr(start);
  switch (rest.front()) {
    case '+':
      return ParseDecimal(rest.substr(1), false);
    case '-':
      return ParseDecimal(rest.substr(1), true);
    case '$':
    case 'x':
    case 'X':
      return ParseHex(rest.substr(1));
    default:
      break;
  }
  if (rest.size() >= 2 && rest[0] == '0' && (rest[1] == 'x' || rest[1] == 'X')) {
    return ParseHex(rest.substr(2));
  }
  return ParseDecimal(rest, false);
}

ParseResult Parse(std::string_view text) {
  ParseResult result;
  const std::vector<std::string_view> lines = SplitViews(text);
  const size_t lineCount = lines.size();
  size_t i = 0;
  while (i < lineCount) {
    if (lines[i] == kSection) {
      ++i;
      const std::string_view countLine = i < lineCount ? lines[i] : std::string_view();
      const std::optional<int32_t> count = ParseCount(countLine);
      if (!count) {
        result.failure = base::Failure{kBadCount, NotAnInteger(countLine)};
        return result;
      }
      if (*count > 0) {
        const size_t wanted = static_cast<size_t>(*count);
        const size_t present = std::min(wanted, lineCount - std::min(lineCount, i + 1));
        for (size_t k = 1; k <= present; ++k) result.names.emplace_back(lines[i + k]);
        if (present < wanted) {
          // The names missing at the end of the file read as empty. A count
          // such as 2147483647 would ask for billions of them, so at most
          // kMaxMissingRows are added and the rest dropped. Only the last
          // section can run past the end, so this bounds the whole load.
          const size_t missing = std::min(wanted - present, static_cast<size_t>(kMaxMissingRows));
          result.names.resize(result.names.size() + missing);
          return result;
        }
        i += wanted;
      }
    }
    ++i;
  }
  return result;
}

std::string Format(const std::vector<std::string>& names) {
  const std::string count = std::to_string(names.size());
  size_t size = kSection.size() + count.size() + 2 * kLineEnd.size();
  for (const std::string& name : names) size += name.size() + kLineEnd.size();
  std::string text;
  text.reserve(size);
  text.append(kSection).append(kLineEnd).append(count).append(kLineEnd);
  for (const std::string& name : names) text.append(name).append(kLineEnd);
  return text;
}

}  // namespace pclist
