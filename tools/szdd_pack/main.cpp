// szdd_pack: packs files into SZDD containers for the payload resources, and checks them.
//
//   szdd_pack pack INPUT OUTPUT [--verify] [--manifest-line ID]
//       Packs INPUT. --verify expands the result and compares it with INPUT before OUTPUT is
//       written. --manifest-line ID prints one initialiser of szdd::PayloadDigest for a table
//       compiled into the program: {ID, expanded length, {SHA-256 bytes}},
//   szdd_pack verify CONTAINER ORIGINAL
//       Expands CONTAINER and compares it with ORIGINAL.
//   szdd_pack expand CONTAINER OUTPUT
//       Expands CONTAINER; a container that does not expand to exactly its declared length is an
//       error, and OUTPUT is not written.
//
// Exit codes: 0 success, 1 the data failed a check, 2 wrong usage or a file error.
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "szdd/sha256.h"
#include "szdd/szdd.h"

namespace {

constexpr int kExitCheckFailed = 1;
constexpr int kExitUsage = 2;

int Usage() {
  std::fputs(
      "usage: szdd_pack pack INPUT OUTPUT [--verify] [--manifest-line ID]\n"
      "       szdd_pack verify CONTAINER ORIGINAL\n"
      "       szdd_pack expand CONTAINER OUTPUT\n",
      stderr);
  return kExitUsage;
}

std::optional<std::vector<std::uint8_t>> ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    std::fprintf(stderr, "szdd_pack: cannot open %s\n", path.c_str());
    return std::nullopt;
  }
  std::vector<std::uint8_t> bytes((std::istreambuf_iterator<char>(in)),
                                  std::istreambuf_iterator<char>());
  if (in.bad()) {
    std::fprintf(stderr, "szdd_pack: cannot read %s\n", path.c_str());
    return std::nullopt;
  }
  return bytes;
}

bool WriteFile(const std::string& path, const std::vector<std::uint8_t>& bytes) {
  {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    if (out) {
      out.write(reinterpret_cast<const char*>(bytes.data()),
                static_cast<std::streamsize>(bytes.size()));
      out.close();
      if (out) return true;
    }
  }
  std::fprintf(stderr, "szdd_pack: cannot write %s\n", path.c_str());
  std::remove(path.c_str());
  return false;
}

// Expands `container` and compares it with `original`; says what differs.
bool Verify(const std::vector<std::uint8_t>& container, const std::vector<std::uint8_t>& original,
            const std::string& name) {
  const szdd::ExpandResult expanded = szdd::Expand(container);
  if (!expanded.ok()) {
    std::fprintf(stderr, "szdd_pack: %s: %s\n", name.c_str(), szdd::StatusName(expanded.status));
    return false;
  }
  if (expanded.data != original) {
    std::size_t at = 0;
    while (at < expanded.data.size() && at < original.size() && expanded.data[at] == original[at]) {
      ++at;
    }
    std::fprintf(stderr,
                 "szdd_pack: %s: expands to %zu bytes that differ from the original (%zu "
                 "bytes) at offset %zu\n",
                 name.c_str(), expanded.data.size(), original.size(), at);
    return false;
  }
  return true;
}

std::optional<unsigned> ParseResourceId(std::string_view text) {
  if (text.empty() || text.size() > 5) return std::nullopt;
  unsigned value = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return std::nullopt;
    value = value * 10 + static_cast<unsigned>(c - '0');
  }
  if (value == 0 || value > 0xFFFF) return std::nullopt;
  return value;
}

int Pack(int argc, char** argv) {
  if (argc < 4) return Usage();
  const std::string input = argv[2];
  const std::string output = argv[3];
  bool verify = false;
  std::optional<unsigned> manifestId;
  for (int i = 4; i < argc; ++i) {
    const std::string_view arg = argv[i];
    if (arg == "--verify") {
      verify = true;
    } else if (arg == "--manifest-line" && i + 1 < argc) {
      manifestId = ParseResourceId(argv[++i]);
      if (!manifestId) {
        std::fprintf(stderr, "szdd_pack: resource id must be 1 to 65535: %s\n", argv[i]);
        return kExitUsage;
      }
    } else {
      return Usage();
    }
  }
  const auto data = ReadFile(input);
  if (!data) return kExitUsage;
  if (data->size() > 0xFFFFFFFFu) {
    std::fprintf(stderr, "szdd_pack: %s is too large for an SZDD container\n", input.c_str());
    return kExitUsage;
  }
  const std::vector<std::uint8_t> packed = szdd::Pack(*data);
  if (verify && !Verify(packed, *data, input)) return kExitCheckFailed;
  if (!WriteFile(output, packed)) return kExitUsage;
  if (manifestId) {
    const szdd::Sha256Digest digest = szdd::ComputeSha256(*data);
    // Appended piece by piece: GCC 12 at -O3 misreports "{" + std::string as overlapping.
    std::string line = "{";
    line += std::to_string(*manifestId);
    line += ", ";
    line += std::to_string(data->size());
    line += "u, {{";
    char hex[8];
    for (std::size_t i = 0; i < digest.size(); ++i) {
      std::snprintf(hex, sizeof hex, "%s0x%02x", i ? ", " : "", digest[i]);
      line += hex;
    }
    line += "}}},\n";
    std::fputs(line.c_str(), stdout);
  }
  return 0;
}

int VerifyCommand(int argc, char** argv) {
  if (argc != 4) return Usage();
  const auto container = ReadFile(argv[2]);
  const auto original = ReadFile(argv[3]);
  if (!container || !original) return kExitUsage;
  return Verify(*container, *original, argv[2]) ? 0 : kExitCheckFailed;
}

int ExpandCommand(int argc, char** argv) {
  if (argc != 4) return Usage();
  const auto container = ReadFile(argv[2]);
  if (!container) return kExitUsage;
  const szdd::ExpandResult expanded = szdd::Expand(*container);
  if (!expanded.ok()) {
    std::fprintf(stderr, "szdd_pack: %s: %s\n", argv[2], szdd::StatusName(expanded.status));
    return kExitCheckFailed;
  }
  return WriteFile(argv[3], expanded.data) ? 0 : kExitUsage;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) return Usage();
  const std::string_view command = argv[1];
  if (command == "pack") return Pack(argc, argv);
  if (command == "verify") return VerifyCommand(argc, argv);
  if (command == "expand") return ExpandCommand(argc, argv);
  return Usage();
}
