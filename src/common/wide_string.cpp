#include "common/wide_string.h"

#include <algorithm>

namespace glimra {
namespace {

// Appends to the output window, counting every unit whether or not it fits.
class Sink {
 public:
  Sink(char16_t* out, std::size_t capacity) : out_(out), capacity_(capacity) {}

  void Put(char16_t unit) {
    if (length_ < capacity_) out_[length_] = unit;
    ++length_;
  }
  void Put(std::u16string_view text) {
    for (char16_t unit : text) Put(unit);
  }
  void Repeat(char16_t unit, std::size_t count) {
    for (std::size_t i = 0; i < count; ++i) Put(unit);
  }
  std::size_t length() const { return length_; }

 private:
  char16_t* out_;
  std::size_t capacity_;
  std::size_t length_ = 0;
};

struct Field {
  bool leftJustify = false;
  bool zeroPad = false;
  std::size_t width = 0;
};

// Digits of an unsigned 32-bit number, most significant first, in buf; returns how many.
std::size_t ToDigits(std::uint32_t value, unsigned base, bool upper, char16_t (&buf)[16]) {
  const char16_t* digits = upper ? u"0123456789ABCDEF" : u"0123456789abcdef";
  char16_t reversed[16];
  std::size_t count = 0;
  do {
    reversed[count++] = digits[value % base];
    value /= base;
  } while (value != 0);
  for (std::size_t i = 0; i < count; ++i) buf[i] = reversed[count - 1 - i];
  return count;
}

void PutPadded(Sink& sink, const Field& field, std::u16string_view sign, std::u16string_view body) {
  const std::size_t length = sign.size() + body.size();
  const std::size_t pad = field.width > length ? field.width - length : 0;
  if (field.leftJustify) {
    sink.Put(sign);
    sink.Put(body);
    sink.Repeat(u' ', pad);
  } else if (field.zeroPad) {
    sink.Put(sign);
    sink.Repeat(u'0', pad);
    sink.Put(body);
  } else {
    sink.Repeat(u' ', pad);
    sink.Put(sign);
    sink.Put(body);
  }
}

}  // namespace

std::size_t FormatWideInto(std::u16string_view format, std::span<const FormatArg> args,
                           char16_t* out, std::size_t capacity) {
  Sink sink(out, capacity);
  std::size_t nextArg = 0;
  std::size_t i = 0;
  while (i < format.size()) {
    if (format[i] != u'%') {
      sink.Put(format[i++]);
      continue;
    }
    const std::size_t start = i++;
    Field field;
    for (; i < format.size(); ++i) {
      if (format[i] == u'-') {
        field.leftJustify = true;
      } else if (format[i] == u'0') {
        field.zeroPad = true;
      } else {
        break;
      }
    }
    // Widths beyond this are not formats of ours; cap them so that a stray one cannot ask for
    // gigabytes.
    constexpr std::size_t kMaxWidth = 1024;
    for (; i < format.size() && format[i] >= u'0' && format[i] <= u'9'; ++i) {
      field.width =
          std::min(kMaxWidth, field.width * 10 + static_cast<std::size_t>(format[i] - u'0'));
    }
    if (i < format.size() && format[i] == u'l') ++i;
    if (i >= format.size()) {
      sink.Put(format.substr(start));
      break;
    }
    const char16_t conversion = format[i++];
    const std::u16string_view asWritten = format.substr(start, i - start);
    if (conversion == u'%') {
      sink.Put(u'%');
      continue;
    }
    const bool isInteger = conversion == u'd' || conversion == u'i' || conversion == u'u' ||
                           conversion == u'x' || conversion == u'X';
    const bool isText = conversion == u's';
    if ((!isInteger && !isText) || nextArg >= args.size()) {
      sink.Put(asWritten);
      continue;
    }
    const FormatArg& arg = args[nextArg];
    const bool argIsText = arg.kind() == FormatArg::Kind::kText;
    if (isText != argIsText) {
      sink.Put(asWritten);
      continue;
    }
    ++nextArg;
    if (isText) {
      Field textField = field;
      textField.zeroPad = false;
      PutPadded(sink, textField, u"", arg.text());
      continue;
    }
    char16_t digits[16];
    std::u16string_view sign;
    std::uint32_t magnitude = arg.bits();
    if ((conversion == u'd' || conversion == u'i') && static_cast<std::int32_t>(magnitude) < 0) {
      sign = u"-";
      magnitude = 0u - magnitude;  // also right for INT32_MIN
    }
    const unsigned base = (conversion == u'x' || conversion == u'X') ? 16u : 10u;
    const std::size_t count = ToDigits(magnitude, base, conversion == u'X', digits);
    PutPadded(sink, field, sign, std::u16string_view(digits, count));
  }
  return sink.length();
}

std::u16string FormatWide(std::u16string_view format, std::span<const FormatArg> args) {
  std::u16string result;
  const std::size_t length = FormatWideInto(format, args, nullptr, 0);
  result.resize(length);
  const std::size_t written = FormatWideInto(format, args, result.data(), result.size());
  result.resize(std::min(written, length));
  return result;
}

std::u16string ReplaceSubstrings(std::u16string_view text, std::u16string_view from,
                                 std::u16string_view to) {
  if (from.empty()) return std::u16string(text);
  std::u16string result;
  std::size_t pos = 0;
  while (true) {
    const std::size_t hit = text.find(from, pos);
    if (hit == std::u16string_view::npos) break;
    result.append(text.substr(pos, hit - pos));
    result.append(to);
    pos = hit + from.size();
  }
  result.append(text.substr(pos));
  return result;
}

}  // namespace glimra
