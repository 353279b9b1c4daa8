#include "platform/sim/pe_image.h"

#include <set>

namespace sim {
namespace {

bool Fail(std::string* error, std::string what) {
  if (error != nullptr) *error = std::move(what);
  return false;
}

// Little-endian reads that check the range first; `bytes` is the whole buffer.
struct Reader {
  std::span<const std::uint8_t> bytes;

  bool Has(std::uint64_t offset, std::uint64_t size) const {
    return offset <= bytes.size() && size <= bytes.size() - offset;
  }
  std::uint16_t U16(std::size_t at) const {
    return static_cast<std::uint16_t>(bytes[at] | bytes[at + 1] << 8);
  }
  std::uint32_t U32(std::size_t at) const {
    return static_cast<std::uint32_t>(bytes[at]) | static_cast<std::uint32_t>(bytes[at + 1]) << 8 |
           static_cast<std::uint32_t>(bytes[at + 2]) << 16 |
           static_cast<std::uint32_t>(bytes[at + 3]) << 24;
  }
  std::uint64_t U64(std::size_t at) const {
    return U32(at) | static_cast<std::uint64_t>(U32(at + 4)) << 32;
  }
};

constexpr std::size_t kDosLfanewOffset = 0x3C;
constexpr std::size_t kFileHeaderSize = 20;
constexpr std::size_t kSectionHeaderSize = 40;
constexpr std::size_t kResourceDirectorySize = 16;
constexpr std::size_t kResourceEntrySize = 8;
constexpr std::size_t kResourceDataEntrySize = 16;
constexpr std::size_t kImportDescriptorSize = 20;
constexpr std::uint32_t kHighBit = 0x80000000u;
constexpr std::size_t kMaxDllNameLength = 260;

}  // namespace

std::optional<PeImage> PeImage::Parse(std::span<const std::uint8_t> bytes, std::string* error) {
  const Reader r{bytes};
  if (!r.Has(0, kDosLfanewOffset + 4) || bytes[0] != 'M' || bytes[1] != 'Z') {
    Fail(error, "no DOS header");
    return std::nullopt;
  }
  const std::uint32_t nt = r.U32(kDosLfanewOffset);
  if (!r.Has(nt, 4 + kFileHeaderSize) || r.U32(nt) != 0x00004550u) {
    Fail(error, "no PE signature");
    return std::nullopt;
  }
  PeImage image(bytes);
  const std::size_t fileHeader = nt + 4;
  image.machine_ = r.U16(fileHeader);
  const std::uint16_t sectionCount = r.U16(fileHeader + 2);
  image.timeDateStamp_ = r.U32(fileHeader + 4);
  const std::uint16_t optionalSize = r.U16(fileHeader + 16);
  image.characteristics_ = r.U16(fileHeader + 18);

  const std::size_t optional = fileHeader + kFileHeaderSize;
  if (!r.Has(optional, optionalSize) || optionalSize < 2) {
    Fail(error, "optional header cut short");
    return std::nullopt;
  }
  image.magic_ = r.U16(optional);
  std::size_t directoriesAt;
  std::size_t countAt;
  if (image.magic_ == kPeMagic32) {
    countAt = 92, directoriesAt = 96;
  } else if (image.magic_ == kPeMagic64) {
    countAt = 108, directoriesAt = 112;
  } else {
    Fail(error, "unknown optional header magic");
    return std::nullopt;
  }
  if (optionalSize < directoriesAt) {
    Fail(error, "optional header cut short");
    return std::nullopt;
  }
  image.imageBase_ = image.is64Bit() ? r.U64(optional + 24) : r.U32(optional + 28);
  image.sizeOfHeaders_ = r.U32(optional + 60);
  image.subsystem_ = r.U16(optional + 68);
  const std::uint32_t directoryCount = r.U32(optional + countAt);
  // Directories beyond the optional header's declared size are not there, whatever the count.
  const std::size_t fitting = (optionalSize - directoriesAt) / 8;
  for (std::size_t i = 0; i < directoryCount && i < fitting && i < 16; ++i) {
    const std::size_t at = optional + directoriesAt + i * 8;
    image.directories_.push_back({r.U32(at), r.U32(at + 4)});
  }

  const std::size_t sectionTable = optional + optionalSize;
  if (!r.Has(sectionTable, std::uint64_t{sectionCount} * kSectionHeaderSize)) {
    Fail(error, "section table cut short");
    return std::nullopt;
  }
  for (std::size_t i = 0; i < sectionCount; ++i) {
    const std::size_t at = sectionTable + i * kSectionHeaderSize;
    PeSection section;
    for (std::size_t c = 0; c < 8 && bytes[at + c] != 0; ++c) {
      section.name.push_back(static_cast<char>(bytes[at + c]));
    }
    section.virtualSize = r.U32(at + 8);
    section.virtualAddress = r.U32(at + 12);
    section.rawSize = r.U32(at + 16);
    section.rawOffset = r.U32(at + 20);
    section.characteristics = r.U32(at + 36);
    image.sections_.push_back(std::move(section));
  }
  return image;
}

PeDataDirectory PeImage::directory(std::size_t index) const {
  return index < directories_.size() ? directories_[index] : PeDataDirectory{};
}

std::optional<std::uint32_t> PeImage::RvaToOffset(std::uint32_t rva, std::uint32_t size) const {
  const Reader r{bytes_};
  const std::uint64_t end = std::uint64_t{rva} + size;
  if (end <= sizeOfHeaders_ && r.Has(rva, size)) return rva;
  for (const PeSection& section : sections_) {
    // The part of the section backed by the file: the raw data, cut to the virtual size.
    std::uint64_t length = section.rawSize;
    if (section.virtualSize != 0 && section.virtualSize < length) length = section.virtualSize;
    if (rva < section.virtualAddress || end > std::uint64_t{section.virtualAddress} + length) {
      continue;
    }
    const std::uint64_t offset = std::uint64_t{section.rawOffset} + (rva - section.virtualAddress);
    if (!r.Has(offset, size)) return std::nullopt;
    return static_cast<std::uint32_t>(offset);
  }
  return std::nullopt;
}

std::optional<std::span<const std::uint8_t>> PeImage::BytesAt(std::uint32_t rva,
                                                              std::uint32_t size) const {
  const auto offset = RvaToOffset(rva, size);
  if (!offset) return std::nullopt;
  return bytes_.subspan(*offset, size);
}

std::optional<std::vector<PeResource>> PeImage::Resources(std::string* error) const {
  std::vector<PeResource> leaves;
  const PeDataDirectory dir = directory(kPeDirectoryResource);
  if (dir.rva == 0 || dir.size == 0) return leaves;
  const auto area = BytesAt(dir.rva, dir.size);
  if (!area) {
    Fail(error, "the resource directory lies outside the file");
    return std::nullopt;
  }
  // Offsets inside the tree are relative to its start; every one must stay inside it.
  const Reader r{*area};
  std::set<std::uint32_t> visited;

  const auto readKey = [&](std::uint32_t field, PeResourceKey& key) {
    if ((field & kHighBit) == 0) {
      if (field > 0xFFFF) return Fail(error, "a resource id out of range");
      key = PeResourceKey::Id(static_cast<std::uint16_t>(field));
      return true;
    }
    const std::uint32_t at = field & ~kHighBit;
    if (!r.Has(at, 2)) return Fail(error, "a resource name outside the directory");
    const std::uint16_t length = r.U16(at);
    if (!r.Has(at + 2u, std::uint64_t{length} * 2)) {
      return Fail(error, "a resource name outside the directory");
    }
    std::u16string name;
    for (std::uint32_t i = 0; i < length; ++i)
      name.push_back(static_cast<char16_t>(r.U16(at + 2 + i * 2)));
    key = PeResourceKey::Name(std::move(name));
    return true;
  };

  // level 0: types, 1: names, 2: languages (their entries lead to data).
  struct Path {
    PeResourceKey type;
    PeResourceKey name;
  };
  const auto walk = [&](auto& self, std::uint32_t at, int level, Path& path) -> bool {
    if (!visited.insert(at).second) return Fail(error, "the resource directory loops");
    if (!r.Has(at, kResourceDirectorySize)) {
      return Fail(error, "a resource directory outside the tree");
    }
    const std::uint32_t count = std::uint32_t{r.U16(at + 12)} + r.U16(at + 14);
    if (!r.Has(at + kResourceDirectorySize, std::uint64_t{count} * kResourceEntrySize)) {
      return Fail(error, "resource directory entries outside the tree");
    }
    for (std::uint32_t i = 0; i < count; ++i) {
      const std::size_t entry = at + kResourceDirectorySize + i * kResourceEntrySize;
      PeResourceKey key;
      if (!readKey(r.U32(entry), key)) return false;
      const std::uint32_t target = r.U32(entry + 4);
      const bool isDirectory = (target & kHighBit) != 0;
      if (level < 2) {
        if (!isDirectory) return Fail(error, "resource data where a directory belongs");
        (level == 0 ? path.type : path.name) = key;
        if (!self(self, target & ~kHighBit, level + 1, path)) return false;
        continue;
      }
      if (isDirectory) return Fail(error, "a resource directory below the language level");
      if (!key.isId) return Fail(error, "a resource language given as a name");
      if (!r.Has(target, kResourceDataEntrySize)) {
        return Fail(error, "a resource data entry outside the tree");
      }
      const auto data = BytesAt(r.U32(target), r.U32(target + 4));
      if (!data) return Fail(error, "resource data outside the file");
      leaves.push_back({path.type, path.name, key.id, r.U32(target + 8), *data});
    }
    return true;
  };
  Path path;
  if (!walk(walk, 0, 0, path)) return std::nullopt;
  return leaves;
}

std::optional<std::vector<std::string>> PeImage::ImportedDlls(std::string* error) const {
  std::vector<std::string> names;
  const PeDataDirectory dir = directory(kPeDirectoryImport);
  if (dir.rva == 0) return names;
  // The table ends at an all-zero descriptor; its declared size is often inexact, so the end is
  // found by reading, one checked descriptor at a time.
  for (std::uint32_t i = 0;; ++i) {
    const std::uint64_t rva = std::uint64_t{dir.rva} + std::uint64_t{i} * kImportDescriptorSize;
    if (rva > 0xFFFFFFFFu) break;
    const auto descriptor = BytesAt(static_cast<std::uint32_t>(rva), kImportDescriptorSize);
    if (!descriptor) {
      Fail(error, "the import directory runs outside the file");
      return std::nullopt;
    }
    const Reader d{*descriptor};
    bool empty = true;
    for (std::uint8_t b : *descriptor) empty = empty && b == 0;
    if (empty) return names;
    const std::uint32_t nameRva = d.U32(12);
    std::string name;
    for (std::uint32_t c = 0;; ++c) {
      const auto ch = BytesAt(nameRva + c, 1);
      if (!ch || c >= kMaxDllNameLength) {
        Fail(error, "an imported DLL's name runs outside the file");
        return std::nullopt;
      }
      if ((*ch)[0] == 0) break;
      name.push_back(static_cast<char>((*ch)[0]));
    }
    names.push_back(std::move(name));
  }
  Fail(error, "the import directory has no end");
  return std::nullopt;
}

namespace {

// One node of a VS_VERSIONINFO tree: length, value length, type, key, value, children.
struct VersionNode {
  std::u16string key;
  std::span<const std::uint8_t> value;
  std::uint16_t type = 0;
  std::span<const std::uint8_t> children;
};

std::size_t Align4(std::size_t n) {
  return (n + 3) & ~std::size_t{3};
}

// Reads the node at the start of `data`; `length` is the node's whole size.
bool ReadVersionNode(std::span<const std::uint8_t> data, VersionNode& node, std::size_t& length,
                     std::string* error) {
  const Reader r{data};
  if (!r.Has(0, 6)) return Fail(error, "a version node cut short");
  length = r.U16(0);
  const std::uint16_t valueLength = r.U16(2);
  node.type = r.U16(4);
  if (length < 6 || length > data.size()) return Fail(error, "a version node's length is wrong");
  std::size_t pos = 6;
  node.key.clear();
  for (;;) {
    if (pos + 2 > length) return Fail(error, "a version node's key is not terminated");
    const std::uint16_t unit = r.U16(pos);
    pos += 2;
    if (unit == 0) break;
    node.key.push_back(static_cast<char16_t>(unit));
  }
  pos = Align4(pos);
  // Text values count UTF-16 units, binary values bytes.
  const std::size_t valueBytes = node.type == 1 ? std::size_t{valueLength} * 2 : valueLength;
  if (pos > length || valueBytes > length - pos) {
    // Some writers count a text value in bytes; accept what the node really holds.
    if (node.type == 1 && pos <= length && valueLength <= length - pos) {
      node.value = data.subspan(pos, length - pos);
      node.children = {};
      return true;
    }
    return Fail(error, "a version node's value runs past its end");
  }
  node.value = data.subspan(pos, valueBytes);
  pos = Align4(pos + valueBytes);
  node.children = pos < length ? data.subspan(pos, length - pos) : std::span<const std::uint8_t>{};
  return true;
}

// Calls `visit` for each child node in `children`.
template <typename Visit>
bool ForEachVersionChild(std::span<const std::uint8_t> children, std::string* error,
                         Visit&& visit) {
  std::size_t pos = 0;
  while (pos < children.size()) {
    VersionNode node;
    std::size_t length = 0;
    if (!ReadVersionNode(children.subspan(pos), node, length, error)) return false;
    if (!visit(node)) return false;
    pos = Align4(pos + length);
  }
  return true;
}

std::u16string TextValue(std::span<const std::uint8_t> value) {
  std::u16string text;
  const Reader r{value};
  for (std::size_t i = 0; i + 1 < value.size(); i += 2) {
    const std::uint16_t unit = r.U16(i);
    if (unit == 0) break;
    text.push_back(static_cast<char16_t>(unit));
  }
  return text;
}

}  // namespace

std::optional<PeVersionInfo> ParseVersionInfo(std::span<const std::uint8_t> data,
                                              std::string* error) {
  VersionNode root;
  std::size_t length = 0;
  if (!ReadVersionNode(data, root, length, error)) return std::nullopt;
  if (root.key != u"VS_VERSION_INFO") {
    Fail(error, "not a version resource");
    return std::nullopt;
  }
  PeVersionInfo info;
  if (!root.value.empty()) {
    const Reader r{root.value};
    if (!r.Has(0, 52) || r.U32(0) != 0xFEEF04BDu) {
      Fail(error, "the fixed file information is damaged");
      return std::nullopt;
    }
    info.fixed = PeFixedFileInfo{r.U32(8),  r.U32(12), r.U32(16), r.U32(20), r.U32(24),
                                 r.U32(28), r.U32(32), r.U32(36), r.U32(40)};
  }
  const bool ok = ForEachVersionChild(root.children, error, [&](const VersionNode& block) {
    if (block.key == u"StringFileInfo") {
      return ForEachVersionChild(block.children, error, [&](const VersionNode& table) {
        return ForEachVersionChild(table.children, error, [&](const VersionNode& entry) {
          info.strings.push_back({table.key, entry.key, TextValue(entry.value)});
          return true;
        });
      });
    }
    if (block.key == u"VarFileInfo") {
      return ForEachVersionChild(block.children, error, [&](const VersionNode& var) {
        if (var.key != u"Translation") return true;
        const Reader r{var.value};
        for (std::size_t i = 0; i + 4 <= var.value.size(); i += 4) {
          info.translations.push_back(r.U32(i));
        }
        return true;
      });
    }
    return true;
  });
  if (!ok) return std::nullopt;
  return info;
}

}  // namespace sim
