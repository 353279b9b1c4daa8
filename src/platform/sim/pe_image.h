// A bounds-checked reader of PE images (EXE and DLL, 32- and 64-bit) held in a byte buffer: the
// headers, the sections, the resource tree and the names of the imported DLLs.
//
// Nothing here reads outside the buffer. A damaged image (cut short, a field pointing outside
// the file, a resource directory that loops) gives a clean failure: Parse returns nothing, and
// the directory readers return nothing with `error` describing the first fault. The reader keeps
// a view of the buffer; the buffer must outlive it.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace sim {

inline constexpr std::uint16_t kPeMachineI386 = 0x014C;
inline constexpr std::uint16_t kPeMachineAmd64 = 0x8664;
inline constexpr std::uint16_t kPeMagic32 = 0x010B;
inline constexpr std::uint16_t kPeMagic64 = 0x020B;
inline constexpr std::uint16_t kPeSubsystemGui = 2;
inline constexpr std::uint16_t kPeSubsystemConsole = 3;

inline constexpr std::size_t kPeDirectoryImport = 1;
inline constexpr std::size_t kPeDirectoryResource = 2;

struct PeSection {
  std::string name;  // up to 8 characters
  std::uint32_t virtualAddress = 0;
  std::uint32_t virtualSize = 0;
  std::uint32_t rawOffset = 0;
  std::uint32_t rawSize = 0;
  std::uint32_t characteristics = 0;
};

struct PeDataDirectory {
  std::uint32_t rva = 0;
  std::uint32_t size = 0;
};

// A resource type or name: an integer id or a string (as stored, case kept).
struct PeResourceKey {
  bool isId = true;
  std::uint16_t id = 0;
  std::u16string name;

  static PeResourceKey Id(std::uint16_t value) { return {true, value, {}}; }
  static PeResourceKey Name(std::u16string value) { return {false, 0, std::move(value)}; }
  friend bool operator==(const PeResourceKey&, const PeResourceKey&) = default;
};

// One leaf of the resource tree (type, name, language) with its bytes inside the buffer.
struct PeResource {
  PeResourceKey type;
  PeResourceKey name;
  std::uint16_t language = 0;
  std::uint32_t codePage = 0;
  std::span<const std::uint8_t> data;
};

class PeImage {
 public:
  // Reads the DOS header, the NT headers and the section table. Nothing when the buffer is not
  // a PE image or its headers are damaged; `error` (if given) then says why.
  static std::optional<PeImage> Parse(std::span<const std::uint8_t> bytes,
                                      std::string* error = nullptr);

  std::uint16_t machine() const { return machine_; }
  std::uint16_t optionalHeaderMagic() const { return magic_; }
  bool is64Bit() const { return magic_ == kPeMagic64; }
  std::uint16_t subsystem() const { return subsystem_; }
  std::uint16_t characteristics() const { return characteristics_; }
  std::uint32_t timeDateStamp() const { return timeDateStamp_; }
  std::uint64_t imageBase() const { return imageBase_; }
  const std::vector<PeSection>& sections() const { return sections_; }
  // A data directory; zero when the image has fewer directories than `index`.
  PeDataDirectory directory(std::size_t index) const;

  // The file offset of `size` bytes at `rva`, when all of them lie in the file's data of one
  // section (or in the headers).
  std::optional<std::uint32_t> RvaToOffset(std::uint32_t rva, std::uint32_t size) const;
  std::optional<std::span<const std::uint8_t>> BytesAt(std::uint32_t rva, std::uint32_t size) const;

  // Every leaf of the resource tree in directory order; empty when the image has no resources.
  std::optional<std::vector<PeResource>> Resources(std::string* error = nullptr) const;
  // The names of the DLLs in the import directory, as stored; empty when there is none.
  std::optional<std::vector<std::string>> ImportedDlls(std::string* error = nullptr) const;

 private:
  explicit PeImage(std::span<const std::uint8_t> bytes) : bytes_(bytes) {}

  std::span<const std::uint8_t> bytes_;
  std::uint16_t machine_ = 0;
  std::uint16_t magic_ = 0;
  std::uint16_t subsystem_ = 0;
  std::uint16_t characteristics_ = 0;
  std::uint32_t timeDateStamp_ = 0;
  std::uint64_t imageBase_ = 0;
  std::uint32_t sizeOfHeaders_ = 0;
  std::vector<PeDataDirectory> directories_;
  std::vector<PeSection> sections_;
};

// The fixed part of a version resource (VS_FIXEDFILEINFO).
struct PeFixedFileInfo {
  std::uint32_t fileVersionMS = 0;
  std::uint32_t fileVersionLS = 0;
  std::uint32_t productVersionMS = 0;
  std::uint32_t productVersionLS = 0;
  std::uint32_t fileFlagsMask = 0;
  std::uint32_t fileFlags = 0;
  std::uint32_t fileOS = 0;
  std::uint32_t fileType = 0;
  std::uint32_t fileSubtype = 0;
};

// One string of a version resource's StringFileInfo: its table ("040904b0"), key and value.
struct PeVersionString {
  std::u16string table;
  std::u16string key;
  std::u16string value;
};

struct PeVersionInfo {
  std::optional<PeFixedFileInfo> fixed;
  std::vector<PeVersionString> strings;
  std::vector<std::uint32_t> translations;  // VarFileInfo\Translation: language | codePage << 16
};

// Reads an RT_VERSION resource (the VS_VERSIONINFO tree). Nothing when it is damaged.
std::optional<PeVersionInfo> ParseVersionInfo(std::span<const std::uint8_t> data,
                                              std::string* error = nullptr);

}  // namespace sim
