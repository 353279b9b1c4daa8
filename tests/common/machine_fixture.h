// A fresh simulated machine per test, with the process-wide version record forgotten so that each
// test's machine is asked anew.
#pragma once

#include <gtest/gtest.h>

#include "platform/sim/machine.h"
#include "system/os_checks.h"

namespace glimra::testing {

class MachineTest : public ::testing::Test {
 protected:
  MachineTest() { ResetOsVersionInfoForTesting(); }

  plat::Platform& platform() { return machine.platform(); }

  sim::Machine machine;
};

}  // namespace glimra::testing
