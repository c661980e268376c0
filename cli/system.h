// What the command line does differently on Windows, where Explorer gives
// the tool a console window of its own, a console takes text as UTF-16, and
// only Windows itself tells what lies under a file name (the C runtime's
// stat can be wrong there); cli/windows/system.cc holds it,
// cli/system_posix.cc the rest.
#ifndef NESEXPAND_CLI_SYSTEM_H_
#define NESEXPAND_CLI_SYSTEM_H_

#include <cstddef>
#include <system_error>

namespace cli {

// Started from Explorer, by a double-click or with a file dropped onto the
// .exe, the tool gets a console window of its own, which closes the moment
// the tool exits. After a failure message these hold that window open
// until Enter is pressed, so that the message can be read; after the usage
// line, which a double-click prints, with a hint that a file can be
// dropped. Anywhere else (a terminal, a script, redirected streams,
// another system) they return at once.
void hold_window_after_failure();
void hold_window_after_usage();

// Writes `size` bytes of `text`, encoded as file names are (UTF-8 on
// Windows, by the manifest), to standard output, so that a console shows
// every name right. A file or a pipe gets the bytes as they are.
void write_output(const char* text, std::size_t size);

// Tells whether the names `source` and `output` lead to the very same file,
// following links on both sides as fopen does and seeing hard links. With
// nothing under `output`, they do not. Returns the error, and leaves `same`
// false, where that cannot be told.
std::error_code same_file(const char* source, const char* output, bool& same);

// Removes a partly written output under `name`, or empties it where it
// cannot be removed, so that no damaged image is left under that name.
// Only a regular file is touched: a link, a device or anything else under
// that name stays as it is.
void discard_partial_output(const char* name);

}  // namespace cli

#endif  // NESEXPAND_CLI_SYSTEM_H_
