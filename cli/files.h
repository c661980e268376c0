// Reading the source image and finishing the output file, each failure
// told apart so that the run can name it.
#ifndef NESEXPAND_CLI_FILES_H_
#define NESEXPAND_CLI_FILES_H_

#include <cstdio>
#include <memory>

namespace cli {

// Opens `path`, allocates the image buffer and reads the first
// ines::kSourceImageSize bytes into it; the source is closed again before
// this returns. Returns nullptr on success, else the message to print.
const char* read_source(const char* path, std::unique_ptr<unsigned char[]>& image);

// Opens the output file `name` for writing, created or truncated, unless
// it is the source file itself under another name. Returns nullptr on
// success, with `out` set, else the message to print; nothing is touched then.
const char* open_output(const char* source, const char* name, std::FILE*& out);

// Flushes and closes `out`. Returns false when a write, the flush or the
// close failed; buffered output may fail only here.
bool close_output(std::FILE* out);

}  // namespace cli

#endif  // NESEXPAND_CLI_FILES_H_
