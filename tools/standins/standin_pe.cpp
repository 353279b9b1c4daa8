#include "standins/standin_pe.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cstring>
#include <initializer_list>

namespace standins {
namespace {

constexpr std::uint32_t kFileAlignment = 0x200;
constexpr std::uint32_t kSectionAlignment = 0x1000;
constexpr std::uint32_t kPeHeaderOffset = 0x80;
constexpr std::uint16_t kRtVersion = 16;
constexpr std::uint16_t kLanguageEnUs = 0x0409;

std::uint32_t AlignUp(std::uint32_t value, std::uint32_t alignment) {
  return (value + alignment - 1) / alignment * alignment;
}

class Bytes {
 public:
  std::vector<std::uint8_t>& data() { return data_; }
  std::size_t size() const { return data_.size(); }
  void U8(std::uint8_t v) { data_.push_back(v); }
  void U16(std::uint16_t v) {
    U8(static_cast<std::uint8_t>(v));
    U8(static_cast<std::uint8_t>(v >> 8));
  }
  void U32(std::uint32_t v) {
    U16(static_cast<std::uint16_t>(v));
    U16(static_cast<std::uint16_t>(v >> 16));
  }
  void U64(std::uint64_t v) {
    U32(static_cast<std::uint32_t>(v));
    U32(static_cast<std::uint32_t>(v >> 32));
  }
  void Text(std::u16string_view text) {
    for (char16_t c : text) U16(static_cast<std::uint16_t>(c));
    U16(0);
  }
  void Raw(const void* p, std::size_t n) {
    const auto* b = static_cast<const std::uint8_t*>(p);
    for (std::size_t i = 0; i < n; ++i) data_.push_back(b[i]);
  }
  void PadTo(std::size_t alignment) {
    while (data_.size() % alignment != 0) U8(0);
  }
  void PutU16(std::size_t at, std::uint16_t v) {
    data_[at] = static_cast<std::uint8_t>(v);
    data_[at + 1] = static_cast<std::uint8_t>(v >> 8);
  }
  void PutU32(std::size_t at, std::uint32_t v) {
    PutU16(at, static_cast<std::uint16_t>(v));
    PutU16(at + 2, static_cast<std::uint16_t>(v >> 16));
  }

 private:
  std::vector<std::uint8_t> data_;
};

// A deterministic generator for filler; quality does not matter, repeatability does.
class Lcg {
 public:
  explicit Lcg(std::uint32_t seed) : state_(seed * 2654435761u + 1) {}
  std::uint32_t Next() {
    state_ = state_ * 1664525u + 1013904223u;
    return state_ >> 8;
  }
  std::uint32_t Below(std::uint32_t n) { return Next() % n; }

 private:
  std::uint32_t state_;
};

void Emit(std::vector<std::uint8_t>& out, std::initializer_list<std::uint8_t> bytes) {
  // One by one: GCC 12 at -O3 warns falsely about a ranged insert here.
  for (std::uint8_t b : bytes) out.push_back(b);
}

// Bytes shaped like compiled functions: prologues, moves with small displacements, calls, compares
// and branches, epilogues, int3 padding. They compress as code does, to roughly half.
void AppendCodeLikeFiller(std::vector<std::uint8_t>& out, std::size_t size, std::uint32_t seed) {
  Lcg rng(seed);
  while (out.size() < size) {
    const std::uint8_t frame = static_cast<std::uint8_t>(4 * (1 + rng.Below(16)));
    Emit(out, {0x55, 0x8B, 0xEC, 0x83, 0xEC});
    out.push_back(frame);
    Emit(out, {0x53, 0x56, 0x57});
    const std::uint32_t statements = 2 + rng.Below(12);
    for (std::uint32_t s = 0; s < statements; ++s) {
      switch (rng.Below(6)) {
        case 0:  // mov eax, [ebp+8+4k]
          Emit(out, {0x8B, 0x45});
          out.push_back(static_cast<std::uint8_t>(8 + 4 * rng.Below(4)));
          break;
        case 1:  // mov [ebp-4k], ecx
          Emit(out, {0x89, 0x4D});
          out.push_back(static_cast<std::uint8_t>(0x100 - 4 * (1 + rng.Below(frame / 4))));
          break;
        case 2: {  // call rel32
          out.push_back(0xE8);
          const std::uint32_t rel = 0xFFFF0000u | rng.Below(0x10000);
          for (int i = 0; i < 4; ++i) out.push_back(static_cast<std::uint8_t>(rel >> (8 * i)));
          break;
        }
        case 3:  // test eax, eax; jz short
          Emit(out, {0x85, 0xC0, 0x74});
          out.push_back(static_cast<std::uint8_t>(rng.Below(0x40)));
          break;
        case 4:  // push imm8; push esi
          out.push_back(0x6A);
          out.push_back(static_cast<std::uint8_t>(rng.Below(0x20)));
          out.push_back(0x56);
          break;
        default:  // add esp, 4k
          Emit(out, {0x83, 0xC4});
          out.push_back(static_cast<std::uint8_t>(4 * (1 + rng.Below(4))));
          break;
      }
    }
    Emit(out, {0x5F, 0x5E, 0x5B, 0x8B, 0xE5, 0x5D, 0xC3});
    while (out.size() % 16 != 0) out.push_back(0xCC);
  }
  out.resize(size);
}

// One node of a version resource: header, key, value, then children, each 32-bit aligned.
struct VersionNode {
  std::u16string key;
  std::uint16_t type = 1;  // 1: text value, 0: binary value
  std::vector<std::uint8_t> value;
  std::uint16_t valueLength = 0;  // in bytes for binary values, in characters for text
  std::vector<VersionNode> children;
};

void WriteNode(Bytes& out, const VersionNode& node) {
  out.PadTo(4);
  const std::size_t start = out.size();
  out.U16(0);  // wLength, patched below
  out.U16(node.valueLength);
  out.U16(node.type);
  out.Text(node.key);
  out.PadTo(4);
  out.Raw(node.value.data(), node.value.size());
  for (const VersionNode& child : node.children) WriteNode(out, child);
  out.PutU16(start, static_cast<std::uint16_t>(out.size() - start));
}

VersionNode StringNode(std::u16string key, std::u16string_view text) {
  VersionNode node;
  node.key = std::move(key);
  node.type = 1;
  Bytes value;
  value.Text(text);
  node.value = std::move(value.data());
  node.valueLength = static_cast<std::uint16_t>(text.size() + 1);
  return node;
}

std::u16string Widen(const std::string& text) {
  return std::u16string(text.begin(), text.end());
}

}  // namespace

bool ParseVersion(const std::string& text, Version& version) {
  std::array<std::uint16_t, 4> parts{};
  const char* p = text.data();
  const char* end = text.data() + text.size();
  for (std::size_t i = 0; i < 4; ++i) {
    unsigned value = 0;
    const auto [next, error] = std::from_chars(p, end, value);
    if (error != std::errc() || next == p || value > 0xFFFF) return false;
    parts[i] = static_cast<std::uint16_t>(value);
    p = next;
    if (i < 3) {
      if (p == end || *p != '.') return false;
      ++p;
    }
  }
  if (p != end) return false;
  version = {parts[0], parts[1], parts[2], parts[3]};
  return true;
}

std::string FormatVersion(const Version& v) {
  return std::to_string(v.major) + "." + std::to_string(v.minor) + "." + std::to_string(v.build) +
         "." + std::to_string(v.revision);
}

Version DefaultProductVersion(const Version& fileVersion) {
  Version product = fileVersion;
  product.major = static_cast<std::uint16_t>(product.major + 100);
  return product;
}

std::vector<std::uint8_t> MakeVersionResource(const PeOptions& options) {
  Bytes fixed;
  fixed.U32(0xFEEF04BD);  // dwSignature
  fixed.U32(0x00010000);  // dwStrucVersion
  fixed.U32(options.fileVersion.ms());
  fixed.U32(options.fileVersion.ls());
  fixed.U32(options.productVersion.ms());
  fixed.U32(options.productVersion.ls());
  fixed.U32(0x3F);                   // dwFileFlagsMask
  fixed.U32(0);                      // dwFileFlags
  fixed.U32(0x00040004);             // VOS_NT_WINDOWS32
  fixed.U32(options.dll ? 2u : 1u);  // VFT_DLL / VFT_APP
  fixed.U32(0);                      // dwFileSubtype
  fixed.U32(0);                      // dwFileDateMS
  fixed.U32(0);                      // dwFileDateLS

  VersionNode root;
  root.key = u"VS_VERSION_INFO";
  root.type = 0;
  root.value = fixed.data();
  root.valueLength = static_cast<std::uint16_t>(root.value.size());

  VersionNode table;
  table.key = u"040904B0";
  const std::u16string fileVersion = Widen(FormatVersion(options.fileVersion));
  const std::u16string productVersion = Widen(FormatVersion(options.productVersion));
  table.children = {
      StringNode(u"CompanyName", u"Corvane Corporation"),
      StringNode(u"FileDescription", u"Glimra component"),
      StringNode(u"FileVersion", fileVersion),
      StringNode(u"InternalName", options.originalFilename),
      StringNode(u"LegalCopyright", u"Copyright (C) Corvane Corporation"),
      StringNode(u"OriginalFilename", options.originalFilename),
      StringNode(u"ProductName", u"Glimra"),
      StringNode(u"ProductVersion", productVersion),
  };
  VersionNode strings;
  strings.key = u"StringFileInfo";
  strings.children = {std::move(table)};

  VersionNode translation;
  translation.key = u"Translation";
  translation.type = 0;
  Bytes pair;
  pair.U16(kLanguageEnUs);
  pair.U16(1200);  // Unicode
  translation.value = pair.data();
  translation.valueLength = 4;
  VersionNode vars;
  vars.key = u"VarFileInfo";
  vars.children = {std::move(translation)};

  root.children = {std::move(strings), std::move(vars)};
  Bytes out;
  WriteNode(out, root);
  return std::move(out.data());
}

std::vector<std::uint8_t> MakePeImage(const PeOptions& options,
                                      const std::vector<std::uint8_t>& versionResource,
                                      PeLayout* layout) {
  const bool is64 = options.is64Bit;
  const std::uint32_t optionalHeaderSize = is64 ? 240 : 224;
  const std::uint32_t headersSize = kFileAlignment;  // everything below fits in 0x200

  // .rsrc: three one-entry directories (type, name, language), a data entry, then the data.
  constexpr std::uint32_t kDataEntryOffset = 0x48;
  constexpr std::uint32_t kResourceDataOffset = 0x58;
  const auto resourceSize =
      static_cast<std::uint32_t>(kResourceDataOffset + versionResource.size());

  // .text: a tiny entry point, then filler up to the requested size.
  std::vector<std::uint8_t> code;
  if (options.dll) {
    // DllMain: mov eax, 1; ret (ret 12 for the 32-bit stdcall convention).
    code = is64 ? std::vector<std::uint8_t>{0xB8, 1, 0, 0, 0, 0xC3}
                : std::vector<std::uint8_t>{0xB8, 1, 0, 0, 0, 0xC2, 0x0C, 0x00};
  } else {
    code = {0x31, 0xC0, 0xC3};  // xor eax, eax; ret: the process ends with exit code 0
  }
  while (code.size() % 16 != 0) code.push_back(0xCC);
  const std::size_t fixedPart = headersSize + AlignUp(resourceSize, kFileAlignment) + 0x200;
  if (options.minimumSize > fixedPart) {
    AppendCodeLikeFiller(code, options.minimumSize - fixedPart + code.size(),
                         options.fileVersion.ms() ^ options.fileVersion.ls() ^
                             static_cast<std::uint32_t>(options.originalFilename.size()));
  }
  const auto codeSize = static_cast<std::uint32_t>(code.size());

  const std::uint32_t textRva = kSectionAlignment;
  const std::uint32_t textRaw = headersSize;
  const std::uint32_t textRawSize = AlignUp(codeSize, kFileAlignment);
  const std::uint32_t rsrcRva = AlignUp(textRva + codeSize, kSectionAlignment);
  const std::uint32_t rsrcRaw = textRaw + textRawSize;
  const std::uint32_t rsrcRawSize = AlignUp(resourceSize, kFileAlignment);
  const std::uint32_t imageSize = AlignUp(rsrcRva + resourceSize, kSectionAlignment);
  const std::uint64_t imageBase = is64 ? (options.dll ? 0x180000000ull : 0x140000000ull)
                                       : (options.dll ? 0x10000000u : 0x400000u);

  Bytes out;
  // DOS header and stub.
  out.U16(0x5A4D);  // "MZ"
  out.U16(0x90);
  out.U16(3);
  out.U16(0);
  out.U16(4);  // header paragraphs
  out.U16(0);
  out.U16(0xFFFF);
  out.U16(0);
  out.U16(0xB8);  // sp
  out.U16(0);
  out.U16(0);
  out.U16(0);
  out.U16(0x40);  // relocation table offset
  while (out.size() < 0x3C) out.U8(0);
  out.U32(kPeHeaderOffset);
  const std::uint8_t stub[] = {0x0E, 0x1F, 0xBA, 0x0E, 0x00, 0xB4, 0x09,
                               0xCD, 0x21, 0xB8, 0x01, 0x4C, 0xCD, 0x21};
  out.Raw(stub, sizeof stub);
  const char message[] = "This program cannot be run in DOS mode.\r\r\n$";
  out.Raw(message, sizeof message - 1);
  while (out.size() < kPeHeaderOffset) out.U8(0);

  // NT headers.
  out.U32(0x00004550);  // "PE\0\0"
  out.U16(is64 ? 0x8664 : 0x014C);
  out.U16(2);           // sections
  out.U32(0x526600C0);  // a fixed time stamp (2013-10-22)
  out.U32(0);
  out.U32(0);
  out.U16(static_cast<std::uint16_t>(optionalHeaderSize));
  std::uint16_t characteristics = 0x0002;     // executable image
  characteristics |= is64 ? 0x0020 : 0x0100;  // large address aware / 32-bit machine
  if (options.dll)
    characteristics |= 0x2000;
  else
    characteristics |= 0x0001;  // relocations stripped: an EXE loads at its base
  out.U16(characteristics);

  out.U16(is64 ? 0x020B : 0x010B);
  out.U8(14);  // linker version
  out.U8(0);
  out.U32(textRawSize);  // SizeOfCode
  out.U32(rsrcRawSize);  // SizeOfInitializedData
  out.U32(0);
  out.U32(textRva);  // AddressOfEntryPoint
  out.U32(textRva);  // BaseOfCode
  if (is64) {
    out.U64(imageBase);
  } else {
    out.U32(rsrcRva);  // BaseOfData
    out.U32(static_cast<std::uint32_t>(imageBase));
  }
  out.U32(kSectionAlignment);
  out.U32(kFileAlignment);
  out.U16(6);  // operating system version
  out.U16(0);
  out.U16(0);  // image version
  out.U16(0);
  out.U16(6);  // subsystem version
  out.U16(0);
  out.U32(0);
  out.U32(imageSize);
  out.U32(headersSize);
  out.U32(0);       // checksum
  out.U16(2);       // GUI
  out.U16(0x0100);  // NX compatible
  if (is64) {
    out.U64(0x100000);
    out.U64(0x1000);
    out.U64(0x100000);
    out.U64(0x1000);
  } else {
    out.U32(0x100000);
    out.U32(0x1000);
    out.U32(0x100000);
    out.U32(0x1000);
  }
  out.U32(0);
  out.U32(16);  // data directories
  for (std::uint32_t i = 0; i < 16; ++i) {
    out.U32(i == 2 ? rsrcRva : 0);
    out.U32(i == 2 ? resourceSize : 0);
  }

  auto section = [&](const char* name, std::uint32_t virtualSize, std::uint32_t rva,
                     std::uint32_t rawSize, std::uint32_t raw, std::uint32_t flags) {
    char padded[8] = {};
    std::memcpy(padded, name, std::strlen(name));
    out.Raw(padded, 8);
    out.U32(virtualSize);
    out.U32(rva);
    out.U32(rawSize);
    out.U32(raw);
    out.U32(0);
    out.U32(0);
    out.U16(0);
    out.U16(0);
    out.U32(flags);
  };
  section(".text", codeSize, textRva, textRawSize, textRaw, 0x60000020);
  section(".rsrc", resourceSize, rsrcRva, rsrcRawSize, rsrcRaw, 0x40000040);
  while (out.size() < headersSize) out.U8(0);

  out.Raw(code.data(), code.size());
  while (out.size() < rsrcRaw) out.U8(0);

  auto directory = [&](std::uint32_t id, std::uint32_t target) {
    out.U32(0);
    out.U32(0);
    out.U16(0);
    out.U16(0);
    out.U16(0);  // named entries
    out.U16(1);  // id entries
    out.U32(id);
    out.U32(target);
  };
  directory(kRtVersion, 0x80000000u | 0x18);
  directory(1, 0x80000000u | 0x30);
  directory(kLanguageEnUs, kDataEntryOffset);
  out.U32(rsrcRva + kResourceDataOffset);
  out.U32(static_cast<std::uint32_t>(versionResource.size()));
  out.U32(0);
  out.U32(0);
  out.Raw(versionResource.data(), versionResource.size());
  while (out.size() < rsrcRaw + rsrcRawSize) out.U8(0);

  if (layout != nullptr) {
    layout->resourceDirectoryOffset = rsrcRaw;
    layout->resourceDirectorySize = kResourceDataOffset;
    layout->versionDataOffset = rsrcRaw + kResourceDataOffset;
    layout->versionDataSize = versionResource.size();
    // Header (6), "VS_VERSION_INFO" and NUL (32), padding to 4: the fixed part starts at 40.
    layout->fixedFileInfoOffset = layout->versionDataOffset + 40;
  }
  return std::move(out.data());
}

std::vector<std::uint8_t> MakePeFile(const PeOptions& options, PeLayout* layout) {
  return MakePeImage(options, MakeVersionResource(options), layout);
}

std::vector<std::uint8_t> MakeHelpFile(std::size_t minimumSize, std::uint32_t seed) {
  Bytes out;
  out.Raw("ITSF", 4);
  out.U32(3);     // version
  out.U32(0x60);  // header length
  out.U32(1);
  out.U32(0x526600C0);
  out.U32(0x0409);                                                                   // language
  for (int i = 0; i < 8; ++i) out.U32(0x7C8A9E00u + static_cast<std::uint32_t>(i));  // two GUIDs
  while (out.size() < 0x60) out.U8(0);

  static constexpr std::array<const char*, 16> kWords = {
      "Glimra", "project", "timeline", "clip",   "effect", "export", "the",   "video",
      "audio",  "select",  "menu",     "window", "to",     "a",      "track", "preview"};
  Lcg rng(seed);
  std::string text;
  int section = 1;
  while (out.size() + text.size() < std::max<std::size_t>(minimumSize, 0x200)) {
    text += "<html><head><title>Topic " + std::to_string(section++) + "</title></head><body><p>";
    const std::uint32_t words = 20 + rng.Below(60);
    for (std::uint32_t w = 0; w < words; ++w) {
      text += kWords[rng.Below(kWords.size())];
      text += ' ';
    }
    text += "</p></body></html>\r\n";
  }
  out.Raw(text.data(), text.size());
  return std::move(out.data());
}

}  // namespace standins
