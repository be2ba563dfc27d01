#pragma once
// The computer list file: its path, its text (pclist_text, plain C++) and its
// reading and replacing (pclist, through Qt's files). No widgets; all texts
// are code page 932 bytes.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "result.h"

namespace pclist {

// A section whose count runs past the end of the file yields its missing
// names as empty rows, but never more than this many per load.
constexpr int32_t kMaxMissingRows = 10000;

// A list file larger than this is not read: a list of every computer of a
// big LAN takes a few hundred kilobytes, and a huge or endless file must
// neither exhaust the memory nor hold the start-up.
constexpr int64_t kMaxFileBytes = 16 * 1024 * 1024;

// The executable's path with the extension of its file name replaced by
// ".ini" (appended when the file name has none).
std::string ListFilePath(const std::string& executablePath);

// Lines of a text; CR LF, LF or CR end a line, and a line end at the very end
// of the text starts no further line.
std::vector<std::string> SplitLines(std::string_view text);

// The count rule: leading blanks, then a signed decimal or a "$", "x", "X",
// "0x" or "0X" hexadecimal number read as signed 32-bit, nothing after it.
std::optional<int32_t> ParseCount(std::string_view line);

// The code of a count line's failure (base::Failure::code); the file's own
// failures carry their FileProblem.
constexpr int kBadCount = 4;

struct ParseResult {
  std::vector<std::string> names;        // every section's names in file order
  std::optional<base::Failure> failure;  // set when a count line failed; names read before it stay
};
ParseResult Parse(std::string_view text);

// The file text for these names: "[WGPCLIST]", the count, the names, each
// line ended by CR LF.
std::string Format(const std::vector<std::string>& names);

// The whole file, or nothing when no file exists at path. Fails with
// "ファイル %s は開けません" (FileProblem::kCannotOpen) when it exists but cannot
// be read (a directory, a device, a pipe), and "ファイル %s は大きすぎて読めません"
// (kTooBig) when it holds more than kMaxFileBytes.
base::Result<std::optional<std::string>> ReadListFile(const std::string& path);

// Replaces the file atomically (a temporary file beside it, then a rename).
// Fails with "ファイル %s を作成できません" (kCannotCreate); the old file is then
// intact.
base::Status WriteListFile(const std::string& path, std::string_view text);

// A list file's failure, its code the problem: "ファイル %s は開けません",
// "ファイル %s を作成できません" or "ファイル %s は大きすぎて読めません", for a path
// already as messages show it (code page 932).
enum class FileProblem { kCannotOpen = 1, kCannotCreate, kTooBig };
base::Failure FileFailure(std::string_view shownPath, FileProblem problem);

// The failures "ファイル %s を作成できません" and "ファイル %s は開けません" for path.
base::Failure CannotCreate(const std::string& path);
base::Failure CannotOpen(const std::string& path);

// Where an unreadable or unparsable list is kept before the window's rows
// replace it, and the copy itself: it fails with CannotCreate of the backup's
// path when there is no file to copy or the copy could not be made.
std::string BackupPath(const std::string& path);
base::Status KeepBackup(const std::string& path);

}  // namespace pclist
