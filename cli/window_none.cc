// Systems where no console window is made for the tool alone: a failure
// leaves nothing to hold open.
#include "cli/window.h"

namespace cli {

void hold_window_after_failure(bool) {}

}  // namespace cli
