// Deterministic inputs that compress like the real payloads (32-bit executables): a PE-like file
// with x86-style code, string tables, pointer tables and UTF-16 text. Neither zeros nor noise.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

namespace szdd_test {

class Prng {
 public:
  explicit Prng(std::uint64_t seed) : state_(seed * 2654435761u + 1) {}
  std::uint32_t Next() {
    state_ ^= state_ << 13;
    state_ ^= state_ >> 7;
    state_ ^= state_ << 17;
    return static_cast<std::uint32_t>(state_ >> 16);
  }
  std::uint32_t Below(std::uint32_t n) { return Next() % n; }
  std::uint8_t Byte() { return static_cast<std::uint8_t>(Next()); }

 private:
  std::uint64_t state_;
};

inline std::vector<std::uint8_t> RandomBytes(std::size_t size, std::uint64_t seed) {
  Prng rng(seed);
  std::vector<std::uint8_t> out(size);
  for (auto& b : out) b = rng.Byte();
  return out;
}

inline std::vector<std::uint8_t> CodeLike(std::size_t size, std::uint64_t seed = 1) {
  Prng rng(seed);
  std::vector<std::uint8_t> out;
  out.reserve(size + 64);
  auto put = [&](std::initializer_list<int> bytes) {
    for (int b : bytes) out.push_back(static_cast<std::uint8_t>(b));
  };
  auto put32 = [&](std::uint32_t v) {
    for (int i = 0; i < 4; ++i) out.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
  };
  auto text = [&](std::string_view s) { out.insert(out.end(), s.begin(), s.end()); };
  auto align = [&](std::size_t to, std::uint8_t fill) {
    while (out.size() % to) out.push_back(fill);
  };

  put({'M', 'Z', 0x90, 0, 3, 0, 0, 0, 4, 0, 0, 0, 0xFF, 0xFF, 0, 0, 0xB8});
  out.resize(0x40, 0);
  text("This program cannot be run in DOS mode.\r\r\n$");
  out.resize(0x400, 0);

  static constexpr std::string_view kWords[] = {
      "Create", "Open",   "Close",   "Read",    "Write",    "File",   "Registry", "Key",
      "Value",  "Window", "Message", "Process", "Thread",   "Handle", "Version",  "Update",
      "Glimra", "Video",  "Edit",    "Library", "Resource", "String", "Query",    "Info"};
  static constexpr int kRegs[] = {0xC0, 0xC1, 0xC2, 0xC3, 0xC6, 0xC7, 0xD8, 0xF0};
  const std::size_t codeEnd = size * 6 / 10;
  const std::size_t dataEnd = size * 85 / 100;

  // Code: functions with a prologue, a body of common instruction shapes and an epilogue.
  while (out.size() < codeEnd) {
    put({0x55, 0x8B, 0xEC, 0x83, 0xEC, static_cast<int>(4 * (1 + rng.Below(16)))});
    if (rng.Below(2)) put({0x53, 0x56, 0x57});
    const std::uint32_t body = 8 + rng.Below(40);
    for (std::uint32_t i = 0; i < body; ++i) {
      const int disp = static_cast<int>(0x100 - 4 * (1 + rng.Below(12)));
      switch (rng.Below(9)) {
        case 0:
          put({0x8B, 0x45, disp});
          break;  // mov eax,[ebp-x]
        case 1:
          put({0x89, 0x45, disp});
          break;  // mov [ebp-x],eax
        case 2:
          put({0x8B, kRegs[rng.Below(8)]});
          break;  // mov reg,reg
        case 3:
          put({0x50 + static_cast<int>(rng.Below(8))});
          break;  // push reg
        case 4:   // call rel32
          put({0xE8});
          put32(0xFFFF0000u + rng.Below(0x8000) * 16 - static_cast<std::uint32_t>(out.size()));
          break;
        case 5:
          put({0x85, 0xC0, 0x74, static_cast<int>(rng.Below(0x40))});
          break;  // test/jz
        case 6:
          put({0x6A, static_cast<int>(rng.Below(4))});
          break;  // push imm8
        case 7:   // mov eax, [global]
          put({0xA1});
          put32(0x00401000u + rng.Below(0x400) * 4);
          break;
        default:
          put({0x33, 0xC0});
          break;  // xor eax,eax
      }
    }
    put({0x5F, 0x5E, 0x5B, 0x8B, 0xE5, 0x5D, 0xC3});
    align(16, 0xCC);
  }
  // Read-only data: names built from a vocabulary, and pointer tables.
  while (out.size() < dataEnd) {
    if (rng.Below(3)) {
      const std::uint32_t parts = 2 + rng.Below(3);
      for (std::uint32_t i = 0; i < parts; ++i) text(kWords[rng.Below(24)]);
      put({rng.Below(2) ? 'W' : 'A', 0});
      align(2, 0);
    } else {
      for (std::uint32_t i = 0, n = 4 + rng.Below(12); i < n; ++i) {
        put32(0x00401000u + rng.Below(0x2000) * 16);
      }
    }
  }
  // Resources: UTF-16 strings and small records.
  while (out.size() < size) {
    const std::uint32_t parts = 1 + rng.Below(4);
    for (std::uint32_t i = 0; i < parts; ++i) {
      for (char c : kWords[rng.Below(24)]) put({c, 0});
      put({' ', 0});
    }
    put({0, 0});
    put32(rng.Below(0x10000));
  }
  out.resize(size);
  return out;
}

}  // namespace szdd_test
