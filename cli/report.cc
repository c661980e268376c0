#include "cli/report.h"

#include <cstring>

#include "cli/system.h"
#include "common/messages.h"

namespace cli {
namespace {

constexpr char kNameField[] = "%s";
constexpr std::size_t kNameFieldLength = sizeof(kNameField) - 1;

void write_text(const char* text) { write_output(text, std::strlen(text)); }

}  // namespace

void usage(const char* invocation_name) {
  // A process may be started with no argument 0 at all, or an empty one.
  if (invocation_name == nullptr || *invocation_name == '\0') invocation_name = kToolName;
  // The name goes out on its own, so that the console is given it whole;
  // the text around its field goes out as it is.
  const char* field = std::strstr(common::kUsage, kNameField);
  write_output(common::kUsage, field - common::kUsage);
  write_text(invocation_name);
  write_text(field + kNameFieldLength);
}

int fail(const char* message) {
  write_text(message);
  return kExitFailure;
}

}  // namespace cli
