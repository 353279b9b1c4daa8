// Stand-ins for the product's files: small but real PE images (EXE or DLL, PE32 or PE32+) that
// carry a version resource, and a stand-in for the compiled help file. Deterministic: the same
// options give the same bytes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace standins {

struct Version {
  std::uint16_t major = 0;
  std::uint16_t minor = 0;
  std::uint16_t build = 0;
  std::uint16_t revision = 0;
  std::uint32_t ms() const { return std::uint32_t{major} << 16 | minor; }
  std::uint32_t ls() const { return std::uint32_t{build} << 16 | revision; }
  friend bool operator==(const Version&, const Version&) = default;
};

// "a.b.c.d" with each part 0..65535; false for anything else.
bool ParseVersion(const std::string& text, Version& version);
std::string FormatVersion(const Version& version);

// The product version a stand-in carries unless told otherwise: the file version with 100 added to
// its major part, so that a reader that takes the wrong one is caught.
Version DefaultProductVersion(const Version& fileVersion);

struct PeOptions {
  bool dll = true;
  bool is64Bit = false;
  Version fileVersion;
  Version productVersion;
  std::u16string originalFilename = u"standin.dll";
  // The file grows to at least this many bytes with code-like filler in .text; 0: as small as it
  // gets (about 3 KB).
  std::size_t minimumSize = 0;
};

// Where the parts of an image lie, for tests that damage them.
struct PeLayout {
  std::size_t resourceDirectoryOffset = 0;  // file offset of the root resource directory
  std::size_t resourceDirectorySize = 0;
  std::size_t versionDataOffset = 0;  // file offset of the VS_VERSIONINFO block
  std::size_t versionDataSize = 0;
  std::size_t fixedFileInfoOffset = 0;  // file offset of its VS_FIXEDFILEINFO
};

// The VS_VERSIONINFO block: fixed information, a StringFileInfo for 040904B0 and a VarFileInfo.
std::vector<std::uint8_t> MakeVersionResource(const PeOptions& options);

// A PE image whose .rsrc holds versionResource (any bytes) as RT_VERSION 1, language 0x0409.
std::vector<std::uint8_t> MakePeImage(const PeOptions& options,
                                      const std::vector<std::uint8_t>& versionResource,
                                      PeLayout* layout = nullptr);
// The same with MakeVersionResource(options).
std::vector<std::uint8_t> MakePeFile(const PeOptions& options, PeLayout* layout = nullptr);

// A compiled-help stand-in: the "ITSF" signature and header fields, then filler text up to
// minimumSize bytes. It holds no version information.
std::vector<std::uint8_t> MakeHelpFile(std::size_t minimumSize, std::uint32_t seed);

}  // namespace standins
