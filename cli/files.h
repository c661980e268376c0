// The run's two files: the source read into the image buffer, and the
// output opened, written through its stream and closed, each failure
// told apart so that the run can name it.
#ifndef NESEXPAND_CLI_FILES_H_
#define NESEXPAND_CLI_FILES_H_

#include <memory>

#include "cli/system.h"

namespace cli {

// Opens `path`, allocates the image buffer and reads the first
// ines::kSourceImageSize bytes into it, and takes the source's id from
// the stream it was read through; the source is closed again before this
// returns. Returns nullptr on success, else the message to print.
const char* read_source(const char* path, std::unique_ptr<unsigned char[]>& image, FileId& id);

// Opens the output file `name` for writing, created or truncated, unless
// it is the source file `source` under another name. Returns nullptr on
// success, with `out` open, else the message to print; nothing is
// written then.
const char* open_output(const char* name, const FileId& source, OutputFile& out);

// Flushes and closes `out`. Returns false when a write, the flush or the
// close failed, and then leaves no partly written image under `name`.
bool close_output(const char* name, OutputFile& out);

}  // namespace cli

#endif  // NESEXPAND_CLI_FILES_H_
