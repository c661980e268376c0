#include "cli/report.h"

#include <cstdio>

#include "common/messages.h"

namespace cli {

void usage(const char* invocation_name) {
  // A process may be started with no argument 0 at all, or an empty one.
  if (invocation_name == nullptr || *invocation_name == '\0') invocation_name = kToolName;
  std::printf(common::kUsage, invocation_name);
}

int fail(const char* message) {
  std::fputs(message, stdout);
  return kExitFailure;
}

}  // namespace cli
