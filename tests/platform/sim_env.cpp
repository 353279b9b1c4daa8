// The contract suite's environment on the host: a simulated 64-bit program on 64-bit Windows,
// holding the same test resources as contract_strings.rc.
#include <string>

#include "platform/contract_env.h"
#include "platform/sim/machine.h"

namespace contract {
namespace {

// The catalogue's languages; contract_strings.rc gives the Windows test program the same blocks.
constexpr plat::LANGID kLanguages[] = {1028, 1031, 1033, 1036, 1040, 1041, 1042,
                                       1043, 1045, 1046, 1049, 2052, 3082};

// String block 1 with id 1 holding text: 16 length-prefixed entries, the others empty.
std::vector<std::uint8_t> BlockWithId1(const std::string& text) {
  std::vector<std::uint8_t> block;
  auto put = [&](char16_t unit) {
    block.push_back(static_cast<std::uint8_t>(unit & 0xFF));
    block.push_back(static_cast<std::uint8_t>(unit >> 8));
  };
  put(0);
  put(static_cast<char16_t>(text.size()));
  for (const char c : text) put(static_cast<char16_t>(c));
  for (int i = 2; i < 16; ++i) put(0);
  return block;
}

class SimEnvironment final : public Environment {
 public:
  SimEnvironment() {
    machine_.SetProgramIs32Bit(false);
    for (const plat::LANGID language : kLanguages) {
      machine_.SetResource(plat::RT_STRING, 1, language, BlockWithId1(std::to_string(language)));
    }
    machine_.SetResource(u"PATCH", 7, 1033, {'a', 'b', 'c'});
  }
  plat::Platform& platform() override { return machine_.platform(); }
  plat::HMODULE TestModule() override { return machine_.ProgramModule(); }
  bool SetUserUILanguage(plat::LANGID language) override {
    machine_.SetUserUILanguage(language);
    return true;
  }
  std::u16string UniqueName() override { return u"sim"; }
  bool IsWine() override { return false; }
  bool WriteTestFile(const std::u16string& path, const std::vector<unsigned char>& bytes) override {
    machine_.AddFile(path, std::vector<std::uint8_t>(bytes.begin(), bytes.end()));
    return true;
  }

 private:
  sim::Machine machine_;
};

}  // namespace

Environment& Env() {
  static SimEnvironment environment;
  return environment;
}

}  // namespace contract
