// Systems other than Windows: no console window is made for the tool
// alone, and the library sees links for what they are.
#include <system_error>

#include "cli/system.h"

namespace cli {

void hold_window_after_failure() {}
void hold_window_after_usage() {}

bool names_regular_file(const std::filesystem::path& name) {
  std::error_code error;
  // symlink_status looks at the name itself, not at what a link points to.
  return std::filesystem::symlink_status(name, error).type() == std::filesystem::file_type::regular;
}

}  // namespace cli
