// Does nothing but run until the runner says stop: copied under a product program's name, it is a
// running process of that name. Its version resource makes it pass for that program's file too.
#include "e2e_tool.h"

int wmain() {
  e2e::SignalReadyAndWait();
  return 0;
}
