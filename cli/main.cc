// nesexpand: expands a one-bank iNES image to two PRG-ROM banks.
//   nesexpand srcfile
// writes the expanded image beside srcfile, says nothing on success and
// prints one line on standard output when it cannot.
#include <cstdio>
#include <memory>

#include "cli/files.h"
#include "cli/report.h"
#include "cli/system.h"
#include "common/messages.h"
#include "common/output_name.h"
#include "image/ines.h"

namespace {

// Expands srcfile into the output beside it; returns the exit status.
int expand(const char* srcfile) {
  std::unique_ptr<unsigned char[]> image;
  if (const char* failure = cli::read_source(srcfile, image)) return cli::fail(failure);

  const std::unique_ptr<char[]> output_name = common::make_output_name(srcfile);
  if (!output_name) return cli::fail(common::kOutOfMemory);
  std::FILE* out = nullptr;
  if (const char* failure = cli::open_output(srcfile, output_name.get(), out)) {
    return cli::fail(failure);
  }

  const bool written = ines::expand_image(image.get(), out);
  const bool closed = cli::close_output(out);
  if (!written || !closed) {
    cli::discard_partial_output(output_name.get());
    return cli::fail(common::kCannotWriteOutput);
  }
  return cli::kExitSuccess;
}

}  // namespace

int main(int argc, char* argv[]) {
  if (argc < 2) {
    cli::usage(argc > 0 ? argv[0] : nullptr);
    cli::hold_window_after_usage();
    return cli::kExitFailure;
  }
  const int status = expand(argv[1]);  // further arguments are ignored
  if (status != cli::kExitSuccess) cli::hold_window_after_failure();
  return status;
}
