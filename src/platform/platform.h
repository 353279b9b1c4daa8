// The Windows services the program uses, one interface each. The entry point builds one Platform
// for the process and passes it explicitly to every operation that reaches Windows.
#pragma once

#include "platform/clock.h"
#include "platform/files.h"
#include "platform/lz.h"
#include "platform/processes.h"
#include "platform/registry.h"
#include "platform/resources.h"
#include "platform/system.h"
#include "platform/ui.h"

namespace plat {

struct Platform {
  Registry& registry;
  Processes& processes;
  System& system;
  Resources& resources;
  Ui& ui;
  Clock& clock;
  Files& files;
  Lz& lz;
};

}  // namespace plat
