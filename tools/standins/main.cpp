// glimra_standins: writes stand-ins for the product's files and materialises the sample
// installations.
//
//   glimra_standins pe OUT --version A.B.C.D [--product-version A.B.C.D] [--exe] [--64]
//                   [--size BYTES] [--name ORIGINAL_FILENAME]
//   glimra_standins chm OUT [--size BYTES] [--seed N]
//   glimra_standins payload-list            the payload sources, one a line: id <TAB> name
//   glimra_standins payload ID OUT          writes the stand-in for payload ID (401 to 434)
//   glimra_standins list                    names and summaries of the sample installations
//   glimra_standins files NAME DRIVE_C      writes NAME's folders and files below DRIVE_C
//   glimra_standins registry NAME           NAME's registry values, one a line:
//                                           32|64 <TAB> key <TAB> value name <TAB> text
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <string>
#include <vector>

#include "fixtures/sample_installations.h"
#include "plan/patch_catalogue.h"
#include "standins/payload_standins.h"
#include "standins/standin_pe.h"

namespace {

int Usage() {
  std::cerr << "usage: glimra_standins pe OUT --version A.B.C.D [--product-version A.B.C.D] "
               "[--exe] [--64] [--size BYTES] [--name NAME]\n"
               "       glimra_standins chm OUT [--size BYTES] [--seed N]\n"
               "       glimra_standins payload-list | payload ID OUT\n"
               "       glimra_standins list | files NAME DRIVE_C | registry NAME\n";
  return 2;
}

std::string Narrow(const std::u16string& text) {
  std::string out;
  for (char16_t c : text) {
    if (c < 0x80) {
      out += static_cast<char>(c);
    } else if (c < 0x800) {
      out += static_cast<char>(0xC0 | (c >> 6));
      out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
      out += static_cast<char>(0xE0 | (c >> 12));
      out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (c & 0x3F));
    }
  }
  return out;
}

std::u16string Widen(const std::string& text) {
  return std::u16string(text.begin(), text.end());
}

bool WriteFile(const std::filesystem::path& path, const std::vector<std::uint8_t>& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()),
            static_cast<std::streamsize>(bytes.size()));
  return static_cast<bool>(out);
}

bool ParseSize(const std::string& text, std::size_t& size) {
  char* end = nullptr;
  const unsigned long long value = std::strtoull(text.c_str(), &end, 10);
  if (text.empty() || *end != '\0' || value > (64ull << 20)) return false;
  size = static_cast<std::size_t>(value);
  return true;
}

// C:\a\b -> DRIVE_C/a/b
std::filesystem::path HostPath(const std::filesystem::path& driveC, const std::u16string& path) {
  std::string rest = Narrow(path.substr(3));
  for (char& c : rest) {
    if (c == '\\') c = '/';
  }
  return driveC / rest;
}

int MakePe(const std::vector<std::string>& args) {
  if (args.empty()) return Usage();
  standins::PeOptions options;
  bool haveVersion = false;
  bool haveProduct = false;
  options.originalFilename = Widen(std::filesystem::path(args[0]).filename().string());
  for (std::size_t i = 1; i < args.size(); ++i) {
    const std::string& a = args[i];
    const bool hasValue = i + 1 < args.size();
    if (a == "--version" && hasValue) {
      haveVersion = standins::ParseVersion(args[++i], options.fileVersion);
      if (!haveVersion) return Usage();
    } else if (a == "--product-version" && hasValue) {
      haveProduct = standins::ParseVersion(args[++i], options.productVersion);
      if (!haveProduct) return Usage();
    } else if (a == "--exe") {
      options.dll = false;
    } else if (a == "--64") {
      options.is64Bit = true;
    } else if (a == "--size" && hasValue) {
      if (!ParseSize(args[++i], options.minimumSize)) return Usage();
    } else if (a == "--name" && hasValue) {
      options.originalFilename = Widen(args[++i]);
    } else {
      return Usage();
    }
  }
  if (!haveVersion) return Usage();
  if (!haveProduct) options.productVersion = standins::DefaultProductVersion(options.fileVersion);
  return WriteFile(args[0], standins::MakePeFile(options)) ? 0 : 1;
}

int MakeChm(const std::vector<std::string>& args) {
  if (args.empty()) return Usage();
  std::size_t size = 0;
  std::size_t seed = 1;
  for (std::size_t i = 1; i < args.size(); ++i) {
    if (args[i] == "--size" && i + 1 < args.size()) {
      if (!ParseSize(args[++i], size)) return Usage();
    } else if (args[i] == "--seed" && i + 1 < args.size()) {
      if (!ParseSize(args[++i], seed)) return Usage();
    } else {
      return Usage();
    }
  }
  return WriteFile(args[0], standins::MakeHelpFile(size, static_cast<std::uint32_t>(seed))) ? 0 : 1;
}

int MakePayload(const std::string& id, const std::filesystem::path& out) {
  for (std::size_t i = 0; i < glimra::kPatchCatalogueSize; ++i) {
    if (std::to_string(glimra::PatchCatalogue()[i].resourceId) == id) {
      return WriteFile(out, standins::MakePayloadStandIn(i)) ? 0 : 1;
    }
  }
  std::cerr << "glimra_standins: no payload " << id << "\n";
  return 2;
}

const fixtures::SampleInstallation* Find(const std::string& name) {
  const auto* sample = fixtures::FindSampleInstallation(name);
  if (sample == nullptr) std::cerr << "glimra_standins: no sample installation " << name << "\n";
  return sample;
}

int WriteInstallation(const std::string& name, const std::filesystem::path& driveC) {
  const auto* sample = Find(name);
  if (sample == nullptr) return 1;
  for (const auto& file : sample->files) {
    const auto path = HostPath(driveC, file.path);
    std::error_code error;
    if (file.kind == fixtures::FileKind::kDirectory) {
      std::filesystem::create_directories(path, error);
    } else {
      std::filesystem::create_directories(path.parent_path(), error);
      if (!WriteFile(path, fixtures::MakeSampleFileBytes(file)))
        error = std::make_error_code(std::errc::io_error);
    }
    if (error) {
      std::cerr << "glimra_standins: cannot write " << path << ": " << error.message() << "\n";
      return 1;
    }
  }
  return 0;
}

int PrintRegistry(const std::string& name) {
  const auto* sample = Find(name);
  if (sample == nullptr) return 1;
  for (const auto& value : sample->registry) {
    std::cout << (value.view == fixtures::RegistryView::k64 ? "64" : "32") << '\t'
              << Narrow(value.key) << '\t' << Narrow(value.name) << '\t' << Narrow(value.text)
              << '\n';
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) return Usage();
  const std::string mode = argv[1];
  const std::vector<std::string> args(argv + 2, argv + argc);
  if (mode == "pe") return MakePe(args);
  if (mode == "chm") return MakeChm(args);
  if (mode == "payload-list" && args.empty()) {
    for (std::size_t i = 0; i < glimra::kPatchCatalogueSize; ++i) {
      std::cout << glimra::PatchCatalogue()[i].resourceId << '\t' << standins::PayloadSourceName(i)
                << '\n';
    }
    return 0;
  }
  if (mode == "payload" && args.size() == 2) return MakePayload(args[0], args[1]);
  if (mode == "list" && args.empty()) {
    for (const auto& sample : fixtures::SampleInstallations()) {
      std::cout << sample.name << '\t' << sample.summary << '\n';
    }
    return 0;
  }
  if (mode == "files" && args.size() == 2) return WriteInstallation(args[0], args[1]);
  if (mode == "registry" && args.size() == 1) return PrintRegistry(args[0]);
  return Usage();
}
