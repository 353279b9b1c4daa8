#include "message_source.h"

#include <algorithm>
#include <array>
#include <map>
#include <optional>
#include <set>

namespace glimra::messages {
namespace {

constexpr std::array<Language, 13> kLanguages{{
    {1028, "zh-TW", 0x04, 0x01},
    {1031, "de-DE", 0x07, 0x01},
    {1033, "en-US", 0x09, 0x01},
    {1036, "fr-FR", 0x0C, 0x01},
    {1040, "it-IT", 0x10, 0x01},
    {1041, "ja-JP", 0x11, 0x01},
    {1042, "ko-KR", 0x12, 0x01},
    {1043, "nl-NL", 0x13, 0x01},
    {1045, "pl-PL", 0x15, 0x01},
    {1046, "pt-BR", 0x16, 0x01},
    {1049, "ru-RU", 0x19, 0x01},
    {2052, "zh-CN", 0x04, 0x02},
    {3082, "es-ES", 0x0A, 0x03},
}};

constexpr std::array<std::uint16_t, 12> kMessageIds{200,  1201, 1202, 1203, 1210, 1213,
                                                    1215, 1216, 1217, 1218, 1219, 1230};

const Language* FindLanguage(std::uint16_t id) {
  for (const Language& language : kLanguages) {
    if (language.id == id) return &language;
  }
  return nullptr;
}

std::size_t LanguageRank(std::uint16_t id) {
  for (std::size_t i = 0; i < kLanguages.size(); ++i) {
    if (kLanguages[i].id == id) return i;
  }
  return kLanguages.size();
}

bool IsMessageId(std::uint16_t id) {
  return std::find(kMessageIds.begin(), kMessageIds.end(), id) != kMessageIds.end();
}

// Decodes one UTF-8 sequence at `pos`; rejects overlong forms, surrogates and values past
// U+10FFFF.
std::optional<char32_t> DecodeUtf8(std::string_view s, std::size_t& pos) {
  const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(s[i]); };
  const unsigned char lead = byte(pos);
  std::size_t length;
  char32_t value;
  char32_t minimum;
  if (lead < 0x80) {
    ++pos;
    return lead;
  } else if ((lead & 0xE0) == 0xC0) {
    length = 2, value = lead & 0x1Fu, minimum = 0x80;
  } else if ((lead & 0xF0) == 0xE0) {
    length = 3, value = lead & 0x0Fu, minimum = 0x800;
  } else if ((lead & 0xF8) == 0xF0) {
    length = 4, value = lead & 0x07u, minimum = 0x10000;
  } else {
    return std::nullopt;
  }
  if (s.size() - pos < length) return std::nullopt;
  for (std::size_t i = 1; i < length; ++i) {
    const unsigned char next = byte(pos + i);
    if ((next & 0xC0) != 0x80) return std::nullopt;
    value = (value << 6) | (next & 0x3Fu);
  }
  if (value < minimum || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF)) {
    return std::nullopt;
  }
  pos += length;
  return value;
}

void AppendUtf16(std::u16string& out, char32_t c) {
  if (c < 0x10000) {
    out.push_back(static_cast<char16_t>(c));
  } else {
    c -= 0x10000;
    out.push_back(static_cast<char16_t>(0xD800 + (c >> 10)));
    out.push_back(static_cast<char16_t>(0xDC00 + (c & 0x3FF)));
  }
}

// The sequence of line breaks of a text: 'C' for CR LF, 'L' for a lone LF, 'R' for a lone CR.
std::string LineBreaks(std::u16string_view text) {
  std::string breaks;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == u'\r' && i + 1 < text.size() && text[i + 1] == u'\n') {
      breaks.push_back('C');
      ++i;
    } else if (text[i] == u'\n') {
      breaks.push_back('L');
    } else if (text[i] == u'\r') {
      breaks.push_back('R');
    }
  }
  return breaks;
}

// The failure text is a printf format for one 32-bit code: "%08x" once, no other conversion.
bool IsFailureFormat(std::u16string_view text) {
  constexpr std::u16string_view kConversion = u"%08x";
  const std::size_t at = text.find(kConversion);
  if (at == std::u16string_view::npos) return false;
  const std::size_t percents = static_cast<std::size_t>(std::count(text.begin(), text.end(), u'%'));
  return percents == 1;
}

class Parser {
 public:
  Parser(std::string_view source, Catalogue& out, std::string& error)
      : source_(source), out_(out), error_(error) {}

  bool Run() {
    out_.messages.clear();
    if (source_.starts_with("\xEF\xBB\xBF")) source_.remove_prefix(3);
    std::size_t pos = 0;
    while (pos < source_.size()) {
      ++line_;
      std::size_t end = source_.find('\n', pos);
      if (end == std::string_view::npos) end = source_.size();
      std::string_view text = source_.substr(pos, end - pos);
      pos = end + 1;
      if (text.ends_with('\r')) text.remove_suffix(1);
      if (!ParseLine(text)) return false;
    }
    return Finish();
  }

 private:
  bool Fail(const std::string& what) {
    error_ = "line " + std::to_string(line_) + ": " + what;
    return false;
  }
  bool FailAtEnd(const std::string& what) {
    error_ = "end of file: " + what;
    return false;
  }

  static std::optional<std::uint16_t> ParseNumber(std::string_view digits) {
    if (digits.empty() || digits.size() > 5) return std::nullopt;
    std::uint32_t value = 0;
    for (char c : digits) {
      if (c < '0' || c > '9') return std::nullopt;
      value = value * 10 + static_cast<std::uint32_t>(c - '0');
    }
    if (value > 0xFFFF) return std::nullopt;
    return static_cast<std::uint16_t>(value);
  }

  bool ParseLine(std::string_view text) {
    if (text.empty() || text.front() == '#') return true;
    if (text.front() == '[') return ParseLanguage(text);
    return ParseMessage(text);
  }

  bool ParseLanguage(std::string_view text) {
    if (!text.ends_with(']')) return Fail("a language line is \"[<id> <tag>]\"");
    const std::string_view inner = text.substr(1, text.size() - 2);
    const std::size_t space = inner.find(' ');
    if (space == std::string_view::npos) return Fail("a language line is \"[<id> <tag>]\"");
    const auto id = ParseNumber(inner.substr(0, space));
    const std::string_view tag = inner.substr(space + 1);
    if (!id) return Fail("bad language id");
    const Language* language = FindLanguage(*id);
    if (language == nullptr) return Fail("unknown language " + std::to_string(*id));
    if (tag != language->tag) {
      return Fail("language " + std::to_string(*id) + " is " + language->tag + ", not " +
                  std::string(tag));
    }
    if (!seenLanguages_.insert(*id).second) {
      return Fail("language " + std::to_string(*id) + " appears twice");
    }
    if (!FinishLanguage()) return false;
    language_ = *id;
    languageLine_ = line_;
    return true;
  }

  bool ParseMessage(std::string_view text) {
    const std::size_t space = text.find(' ');
    if (space == std::string_view::npos) return Fail("a message line is '<id> \"<text>\"'");
    const auto id = ParseNumber(text.substr(0, space));
    if (!id) return Fail("bad message id");
    if (!IsMessageId(*id)) return Fail("unknown message id " + std::to_string(*id));
    if (!language_) return Fail("message before the first language line");
    if (!seenIds_.insert(*id).second) {
      return Fail("message " + std::to_string(*id) + " appears twice");
    }
    std::u16string message;
    if (!ParseQuoted(text.substr(space + 1), message)) return false;
    if (message.empty()) return Fail("message " + std::to_string(*id) + " is empty");
    if (message.size() > 0xFFFF) return Fail("message " + std::to_string(*id) + " is too long");
    if (*id == kFailureFormatId && !IsFailureFormat(message)) {
      return Fail("message 1213 must hold \"%08x\" once and no other '%'");
    }
    out_.messages.push_back({*language_, *id, std::move(message)});
    return true;
  }

  bool ParseQuoted(std::string_view text, std::u16string& out) {
    if (text.size() < 2 || text.front() != '"' || text.back() != '"') {
      return Fail("the text must stand in double quotes");
    }
    const std::string_view body = text.substr(1, text.size() - 2);
    std::size_t pos = 0;
    while (pos < body.size()) {
      const char c = body[pos];
      if (c == '\\') {
        if (pos + 1 >= body.size()) return Fail("a backslash ends the text");
        switch (body[pos + 1]) {
          case 'r':
            out.push_back(u'\r');
            break;
          case 'n':
            out.push_back(u'\n');
            break;
          case '"':
            out.push_back(u'"');
            break;
          case '\\':
            out.push_back(u'\\');
            break;
          default:
            return Fail(std::string("unknown escape \\") + body[pos + 1]);
        }
        pos += 2;
        continue;
      }
      if (c == '"') return Fail("a double quote inside the text must be written \\\"");
      const auto decoded = DecodeUtf8(body, pos);
      if (!decoded) return Fail("invalid UTF-8");
      if (*decoded < 0x20 || *decoded == 0x7F) return Fail("a control character in the text");
      AppendUtf16(out, *decoded);
    }
    return true;
  }

  // Checks the language that just ended: every message present.
  bool FinishLanguage() {
    if (!language_) return true;
    for (std::uint16_t id : kMessageIds) {
      if (!seenIds_.contains(id)) {
        error_ = "line " + std::to_string(languageLine_) + ": language " +
                 std::to_string(*language_) + " lacks message " + std::to_string(id);
        return false;
      }
    }
    seenIds_.clear();
    return true;
  }

  bool Finish() {
    if (!FinishLanguage()) return false;
    for (const Language& language : kLanguages) {
      if (!seenLanguages_.contains(language.id)) {
        return FailAtEnd("language " + std::to_string(language.id) + " is missing");
      }
    }
    std::sort(out_.messages.begin(), out_.messages.end(), [](const Message& a, const Message& b) {
      const std::size_t ra = LanguageRank(a.language), rb = LanguageRank(b.language);
      return ra != rb ? ra < rb : a.id < b.id;
    });
    for (const Message& message : out_.messages) {
      const Message* english = out_.Find(kEnglish, message.id);
      if (LineBreaks(message.text) != LineBreaks(english->text)) {
        return FailAtEnd("message " + std::to_string(message.id) + " of language " +
                         std::to_string(message.language) +
                         " breaks its lines otherwise than the English one");
      }
    }
    return true;
  }

  std::string_view source_;
  Catalogue& out_;
  std::string& error_;
  std::size_t line_ = 0;
  std::optional<std::uint16_t> language_;
  std::size_t languageLine_ = 0;
  std::set<std::uint16_t> seenLanguages_;
  std::set<std::uint16_t> seenIds_;
};

}  // namespace

std::span<const Language> ProgramLanguages() {
  return kLanguages;
}
std::span<const std::uint16_t> ProgramMessageIds() {
  return kMessageIds;
}

const Message* Catalogue::Find(std::uint16_t language, std::uint16_t id) const {
  for (const Message& message : messages) {
    if (message.language == language && message.id == id) return &message;
  }
  return nullptr;
}

bool ParseCatalogue(std::string_view source, Catalogue& out, std::string& error) {
  return Parser(source, out, error).Run();
}

std::vector<StringBlock> BuildStringBlocks(const Catalogue& catalogue) {
  // language rank, block id -> the 16 entries
  std::map<std::pair<std::size_t, std::uint16_t>, std::array<const std::u16string*, 16>> blocks;
  for (const Message& message : catalogue.messages) {
    const auto key = std::make_pair(LanguageRank(message.language),
                                    static_cast<std::uint16_t>(message.id / 16 + 1));
    auto [it, inserted] = blocks.try_emplace(key);
    if (inserted) it->second.fill(nullptr);
    it->second[message.id % 16] = &message.text;
  }
  std::vector<StringBlock> result;
  for (const auto& [key, entries] : blocks) {
    StringBlock block{kLanguages[key.first].id, key.second, {}};
    const auto put16 = [&](std::uint16_t v) {
      block.data.push_back(static_cast<std::uint8_t>(v & 0xFF));
      block.data.push_back(static_cast<std::uint8_t>(v >> 8));
    };
    for (const std::u16string* text : entries) {
      if (text == nullptr) {
        put16(0);
        continue;
      }
      put16(static_cast<std::uint16_t>(text->size()));
      for (char16_t unit : *text) put16(static_cast<std::uint16_t>(unit));
    }
    result.push_back(std::move(block));
  }
  return result;
}

std::string ToUtf8(std::u16string_view text) {
  std::string out;
  for (std::size_t i = 0; i < text.size(); ++i) {
    char32_t c = text[i];
    if (c >= 0xD800 && c <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
        text[i + 1] <= 0xDFFF) {
      c = 0x10000 + ((c - 0xD800) << 10) + (text[i + 1] - 0xDC00u);
      ++i;
    } else if (c >= 0xD800 && c <= 0xDFFF) {
      c = 0xFFFD;
    }
    const auto put = [&](char32_t v) { out.push_back(static_cast<char>(v)); };
    if (c < 0x80) {
      put(c);
    } else if (c < 0x800) {
      put(0xC0 | (c >> 6)), put(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
      put(0xE0 | (c >> 12)), put(0x80 | ((c >> 6) & 0x3F)), put(0x80 | (c & 0x3F));
    } else {
      put(0xF0 | (c >> 18)), put(0x80 | ((c >> 12) & 0x3F)), put(0x80 | ((c >> 6) & 0x3F)),
          put(0x80 | (c & 0x3F));
    }
  }
  return out;
}

}  // namespace glimra::messages
