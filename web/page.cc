// The page's side of the WebAssembly build: what its script calls for each
// chosen file. The expansion, the name rule and the messages are the
// command line's own; the page only gets the bytes in and the result out.
#include <cstddef>
#include <cstdio>
#include <memory>

#include "common/messages.h"
#include "common/output_name.h"
#include "image/ines.h"

namespace {

// The file in hand goes in at `source`; its result comes out at `expanded`
// and `output_name`, where it stays until the next file.
unsigned char source[ines::kSourceImageSize];
unsigned char expanded[ines::kExpandedImageSize];
std::unique_ptr<char[]> output_name;

const char* expand_into_buffer() {
  // "w+" rather than "w": a write-only memory stream puts a terminating zero
  // over the last byte once the buffer is full. Unbuffered, so that every
  // short write shows in the stream's error flag instead of being lost at
  // close.
  std::FILE* out = fmemopen(expanded, sizeof expanded, "w+b");
  if (out == nullptr) return common::kOutOfMemory;  // the stream itself is allocated
  const bool unbuffered = std::setvbuf(out, nullptr, _IONBF, 0) == 0;
  ines::expand_image(source, out);
  // The image must fill the buffer: a shorter one would leave part of the
  // last image in place.
  const bool written = unbuffered && std::ferror(out) == 0 &&
                       std::ftell(out) == static_cast<long>(sizeof expanded);
  const bool closed = std::fclose(out) == 0;
  return written && closed ? nullptr : common::kCannotWriteOutput;
}

}  // namespace

extern "C" {

std::size_t page_source_size() { return ines::kSourceImageSize; }
std::size_t page_expanded_size() { return ines::kExpandedImageSize; }

// Where the script puts the first page_source_size() bytes of the file.
unsigned char* page_source() { return source; }

// Expands the file called `name` (UTF-8, zero-terminated; nullptr when the
// script had no memory for it) whose first `got` bytes are in
// page_source(), in the command line's order: the size, then the name,
// then the image. Returns nullptr on success, with the image in
// page_expanded() and its name in page_output_name(), else the message
// and no result at all.
const char* page_expand(const char* name, std::size_t got) {
  output_name.reset();
  if (const char* failure = common::source_size_failure(got)) return failure;
  if (name == nullptr) return common::kOutOfMemory;
  output_name = common::make_output_name(name);
  if (!output_name) return common::kOutOfMemory;
  const char* failure = expand_into_buffer();
  if (failure) output_name.reset();
  return failure;
}

const unsigned char* page_expanded() { return expanded; }
const char* page_output_name() { return output_name.get(); }

// The messages for a file that is gone since it was chosen, or that the
// browser could not read.
const char* page_cannot_open() { return common::kCannotOpenSource; }
const char* page_cannot_read() { return common::kCannotReadSource; }

}  // extern "C"
