// The page's side of the WebAssembly build: what its script calls for each
// chosen file. The expansion, the name rule and the messages are the
// command line's own; the page only gets the bytes in and the result out.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <new>

#include "common/messages.h"
#include "common/output_name.h"
#include "image/ines.h"

namespace {

// One file at a time: the script writes the name and the first bytes of
// the file here, expands, and copies the result out before the next file.
unsigned char source[ines::kSourceImageSize];
unsigned char expanded[ines::kExpandedImageSize];
std::unique_ptr<char[]> source_name;
std::unique_ptr<char[]> output_name;

const char* expand_into_buffer() {
  // "w+" rather than "w": a write-only memory stream puts a terminating zero
  // over the last byte once the buffer is full. Unbuffered, so that every
  // short write shows in fwrite's count instead of being lost at close.
  std::FILE* out = fmemopen(expanded, sizeof expanded, "w+b");
  if (out == nullptr) return common::kOutOfMemory;  // the stream itself is allocated
  const bool unbuffered = std::setvbuf(out, nullptr, _IONBF, 0) == 0;
  // The image must fill the buffer: a shorter one would leave part of the
  // last image in place.
  const bool written = unbuffered && ines::expand_image(source, out) &&
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

// Drops the last result and makes room for the next file's name, `size`
// bytes of UTF-8, which the script writes there; the terminator is in
// place already. Returns nullptr when there is no memory for it.
char* page_name(std::size_t size) {
  output_name.reset();
  source_name.reset(size < SIZE_MAX ? new (std::nothrow) char[size + 1] : nullptr);
  if (source_name) source_name[size] = '\0';
  return source_name.get();
}

// Expands the file whose first `got` bytes are in page_source(), under the
// name given to page_name(). Returns nullptr on success, with the image in
// page_expanded() and its name in page_output_name(), else the message.
const char* page_expand(std::size_t got) {
  if (const char* failure = common::source_size_failure(got)) return failure;
  if (!source_name) return common::kOutOfMemory;
  output_name = common::make_output_name(source_name.get());
  if (!output_name) return common::kOutOfMemory;
  const char* failure = expand_into_buffer();
  if (failure) output_name.reset();
  return failure;
}

// The messages for a file that is gone since it was chosen, or that the
// browser could not read.
const char* page_cannot_open() { return common::kCannotOpenSource; }
const char* page_cannot_read() { return common::kCannotReadSource; }

const unsigned char* page_expanded() { return expanded; }
const char* page_output_name() { return output_name.get(); }

}  // extern "C"
