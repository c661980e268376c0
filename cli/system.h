// What the command line does differently on Windows, where Explorer gives
// the tool a console window of its own, a console takes text as UTF-16 and
// files are asked about through Windows' own calls; cli/windows/system.cc
// holds it, cli/system_posix.cc the rest.
//
// Every decision about a file is made through a handle that the run holds,
// never by looking its name up again: another program may rename or link
// files in the same folder between two calls.
#ifndef NESEXPAND_CLI_SYSTEM_H_
#define NESEXPAND_CLI_SYSTEM_H_

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>
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
void print_text(const char* text, std::size_t size);

// Which file a handle is open on: the device and inode, or on Windows the
// volume and the file id (128 bits where the file system has them). Two
// handles are open on one file exactly when their ids are equal.
struct FileId {
  std::uint64_t volume = 0;
  unsigned char file[16] = {};
};
inline bool operator==(const FileId& a, const FileId& b) {
  return a.volume == b.volume && std::memcmp(a.file, b.file, sizeof a.file) == 0;
}

// The id of the file that `stream` is open on.
std::error_code identify(std::FILE* stream, FileId& id);

// The output, opened once by name and from then on known by its handle.
struct OutputFile {
  static constexpr std::intptr_t kNoHandle = -1;
  // The system's handle (a descriptor, or a Windows HANDLE), held until the
  // end of the run so that a failed output can be emptied through it.
  std::intptr_t handle = kNoHandle;
  // A second handle on the same file, as a stream, for the expansion.
  std::FILE* stream = nullptr;
  FileId id;
  bool created = false;    // the open made the file
  bool regular = false;    // a regular file, not a device or FIFO
  bool truncated = false;  // its old content is gone
};

// Opens `name` for writing without truncating it, following links as
// fopen does and creating a file where there is none, and takes its id.
// On failure nothing is held and nothing is written.
std::error_code open_output_file(const char* name, OutputFile& out);

// Gives `out` its stream and then truncates a regular file through the
// handle; a device or FIFO is written as it is. On failure the file is as
// it was.
std::error_code start_writing(OutputFile& out);

// Lets go of an output that was written in full: closes the handle, whose
// close may report a write that failed late.
std::error_code finish_output(OutputFile& out);

// Lets go of an output that must not stay as it is, or was never written:
// a regular file that the run created or truncated is emptied through the
// handle, then removed only where `name` itself is still that file (not a
// link to it, nor another file put there since). Anything else under the
// name is left as it is.
void discard_output(const char* name, OutputFile& out);

}  // namespace cli

#endif  // NESEXPAND_CLI_SYSTEM_H_
