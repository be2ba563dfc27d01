#pragma once
// The buffer contract of the conversion entry points, and the code page 932
// texts they answer with.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "mirelka.h"

namespace mirelka {

// Results of nametoip, iptoname and connectpc: the public header's codes.
enum Result : uint16_t {
  kOk = MIRELKA_OK,
  kBadInput = MIRELKA_BAD_INPUT,
  kNotFound = MIRELKA_NOT_FOUND,
  kNoAnswer = MIRELKA_NO_ANSWER,
  kNoRoom = MIRELKA_NO_ROOM,
  kInternal = MIRELKA_INTERNAL,
};

// Failure reasons, code page 932 bytes.
namespace reason {
inline constexpr char kEmpty[] = "\x93\xfc\x97\xcd\x82\xaa\x8b\xf3\x82\xc5\x82\xb7";  // 入力が空です
inline constexpr char kNameUnknown[] =
    "\x96\xbc\x91\x4f\x82\xaa\x8c\xa9\x82\xc2\x82\xa9\x82\xe8\x82\xdc\x82\xb9\x82\xf1";  // 名前が見つかりません
inline constexpr char kNotAddress[] =
    "IP\x83\x41\x83\x68\x83\x8c\x83\x58\x82\xc5\x82\xcd\x82\xa0\x82\xe8\x82\xdc\x82\xb9\x82\xf1";  // IPアドレスではありません
inline constexpr char kNoName[] =
    "\x96\xbc\x91\x4f\x82\xf0\x8e\xe6\x93\xbe\x82\xc5\x82\xab\x82\xdc\x82\xb9\x82\xf1";  // 名前を取得できません
inline constexpr char kNoAnswer[] =
    "\x89\x9e\x93\x9a\x82\xaa\x82\xa0\x82\xe8\x82\xdc\x82\xb9\x82\xf1";  // 応答がありません
inline constexpr char kNoRoom[] =
    "\x83\x6f\x83\x62\x83\x74\x83\x40\x82\xaa\x91\xab\x82\xe8\x82\xdc\x82\xb9\x82\xf1";  // バッファが足りません
inline constexpr char kInternal[] = "\x93\xe0\x95\x94\x83\x47\x83\x89\x81\x5b";          // 内部エラー
}  // namespace reason

struct Outcome {
  uint16_t code = kOk;
  std::string text;
};

// The input text: the bytes of buf up to its first NUL, at most size of them.
// buf must not be null and size must not be negative.
std::string ReadInput(const char* buf, int32_t size);

// Writes the outcome's text and a NUL into buf, at most size + 1 bytes, and
// returns its code. A successful answer that does not fit becomes kNoRoom; a
// reason that does not fit is cut at a character boundary.
uint16_t WriteOutcome(char* buf, int32_t size, const Outcome& outcome) noexcept;

}  // namespace mirelka
