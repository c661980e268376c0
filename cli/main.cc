// nesexpand: expands a one-bank iNES image to two PRG-ROM banks.
//   nesexpand srcfile
// writes the expanded image beside srcfile, says nothing on success and
// prints one line on standard output when it cannot.
#include <cstdio>
#include <cstring>
#include <memory>

#include "cli/files.h"
#include "cli/system.h"
#include "common/messages.h"
#include "common/output_name.h"
#include "image/ines.h"

namespace {

constexpr int kExitSuccess = 0;
constexpr int kExitFailure = 1;

// Stands in for an empty invocation name in the usage line.
constexpr char kToolName[] = "nesexpand";
constexpr char kNameField[] = "%s";
constexpr std::size_t kNameFieldLength = sizeof(kNameField) - 1;

void print(const char* text) { cli::print_text(text, std::strlen(text)); }

// Prints the usage line with the name the tool was started under.
void usage(const char* invocation_name) {
  // A process may be started with no argument 0 at all, or an empty one.
  if (invocation_name == nullptr || *invocation_name == '\0') invocation_name = kToolName;
  // The name goes out on its own, so that a console is given it whole;
  // the text around its field goes out as it is.
  const char* field = std::strstr(common::kUsage, kNameField);
  cli::print_text(common::kUsage, field - common::kUsage);
  print(invocation_name);
  print(field + kNameFieldLength);
}

// Prints one of the messages of common/messages.h.
int fail(const char* message) {
  print(message);
  return kExitFailure;
}

// Expands srcfile into the output beside it; returns the exit status.
int expand(const char* srcfile) {
  std::unique_ptr<unsigned char[]> image;
  cli::FileId source;
  if (const char* failure = cli::read_source(srcfile, image, source)) return fail(failure);

  const std::unique_ptr<char[]> output_name = common::make_output_name(srcfile);
  if (!output_name) return fail(common::kOutOfMemory);
  cli::OutputFile out;
  if (const char* failure = cli::open_output(output_name.get(), source, out)) return fail(failure);

  ines::expand_image(image.get(), out.stream);
  if (!cli::close_output(output_name.get(), out)) return fail(common::kCannotWriteOutput);
  return kExitSuccess;
}

}  // namespace

int main(int argc, char* argv[]) {
  if (argc < 2) {
    usage(argc > 0 ? argv[0] : nullptr);
    cli::hold_window_after_usage();
    return kExitFailure;
  }
  const int status = expand(argv[1]);  // further arguments are ignored
  if (status != kExitSuccess) cli::hold_window_after_failure();
  return status;
}
