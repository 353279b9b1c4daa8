// What the platform contract suite needs from each implementation beyond the plat:: interfaces.
#pragma once

#include <string>
#include <vector>

#include "platform/platform.h"

namespace contract {

class Environment {
 public:
  virtual ~Environment() = default;

  virtual plat::Platform& platform() = 0;

  // The module holding the suite's test resources (contract_strings.rc): string block 1 in the
  // catalogue's 13 languages, id 1 holding the block's language id in decimal, and a resource
  // 7 of type "PATCH" (language 1033) holding the three bytes "abc".
  virtual plat::HMODULE TestModule() = 0;

  // Makes the user's display language `language`, when the implementation can choose it; false
  // when it cannot (on Windows it is fixed before the process starts).
  virtual bool SetUserUILanguage(plat::LANGID language) = 0;

  // A name unique to this run, for registry keys and kernel objects the suite creates.
  virtual std::u16string UniqueName() = 0;

  // Whether the implementation runs on Wine, which differs from Windows in a few documented
  // details; the suite states both and checks the one that applies.
  virtual bool IsWine() = 0;

  // Writes a file with these bytes (replacing one that exists) into a folder that exists; false
  // when it cannot. The file functions have no writer of their own in plat::Files.
  virtual bool WriteTestFile(const std::u16string& path,
                             const std::vector<unsigned char>& bytes) = 0;
};

// The environment of the implementation this test program is built for.
Environment& Env();

}  // namespace contract
