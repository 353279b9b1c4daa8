// UTF-16 text helpers: printf-style formatting and substring replacement over std::u16string,
// the program's growable wide string. Growth that fails throws std::bad_alloc, which nothing in
// the program catches (the process ends with E_OUTOFMEMORY).
#pragma once

#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <span>
#include <string>
#include <string_view>

namespace glimra {

// One argument of a format: a 32-bit integer (signed or not) or a text.
class FormatArg {
 public:
  enum class Kind { kSigned, kUnsigned, kText };

  FormatArg(std::int32_t value) : kind_(Kind::kSigned), bits_(static_cast<std::uint32_t>(value)) {}
  FormatArg(std::uint32_t value) : kind_(Kind::kUnsigned), bits_(value) {}
  // A null text formats as "(null)".
  FormatArg(const char16_t* text)
      : kind_(Kind::kText), text_(text != nullptr ? std::u16string_view(text) : u"(null)") {}
  FormatArg(std::u16string_view text) : kind_(Kind::kText), text_(text) {}
  FormatArg(const std::u16string& text) : kind_(Kind::kText), text_(text) {}

  Kind kind() const { return kind_; }
  // The integer's 32 bits; %d reads them as signed, %u and %x as unsigned, whatever the kind.
  std::uint32_t bits() const { return bits_; }
  std::u16string_view text() const { return text_; }

 private:
  Kind kind_;
  std::uint32_t bits_ = 0;
  std::u16string_view text_;
};

// Formats `format` over `args` into out[0, capacity) and returns the full length of the result
// in code units, which may exceed capacity (nothing is written past it, and no NUL is added).
// Call with capacity 0 to measure.
//
// Conversions: %d %i (signed), %u, %x %X (hexadecimal), %s (text) and %% (a
// percent sign); each may carry the flags '-' (left-justify) and '0' (pad with zeros), a decimal
// width and an ignored 'l' size. A conversion that is unknown, has no argument left or gets an
// argument of the other kind (a text for %d, a number for %s) is copied to the output as written,
// and uses up no argument.
std::size_t FormatWideInto(std::u16string_view format, std::span<const FormatArg> args,
                           char16_t* out, std::size_t capacity);

// Measures, grows the result to that length and formats into it.
std::u16string FormatWide(std::u16string_view format, std::span<const FormatArg> args);
inline std::u16string FormatWide(std::u16string_view format,
                                 std::initializer_list<FormatArg> args) {
  return FormatWide(format, std::span<const FormatArg>(args.begin(), args.size()));
}

// Replaces every occurrence of `from` by `to`, scanning left to right without overlap and matching
// code units exactly. An empty `from` changes nothing.
std::u16string ReplaceSubstrings(std::u16string_view text, std::u16string_view from,
                                 std::u16string_view to);

}  // namespace glimra
