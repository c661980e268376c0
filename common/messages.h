// The messages that every front end shows, as the command line prints them:
// one line each, ending in a line feed.
#ifndef NESEXPAND_COMMON_MESSAGES_H_
#define NESEXPAND_COMMON_MESSAGES_H_

#include <cstddef>

#include "image/ines.h"

namespace common {

// The command line's usage line; %s is the name it was started under.
constexpr char kUsage[] = "usage:  %s <srcfile>\n";

constexpr char kCannotOpenSource[] = "Unable to open source file.\n";
constexpr char kCannotReadSource[] = "Unable to read source file.\n";
constexpr char kSourceTooShort[] = "Source file is too short.\n";
constexpr char kCannotCreateOutput[] = "Unable to create expanded ROM file.\n";
constexpr char kSameFile[] = "Source file and expanded ROM file are the same file.\n";
constexpr char kCannotWriteOutput[] = "Unable to write expanded ROM file.\n";
constexpr char kOutOfMemory[] = "Out of memory.\n";

// The message for a source of which `got` bytes were read, or nullptr when
// they make a whole image: a longer source is expanded from its first
// ines::kSourceImageSize bytes, so only a shorter one fails.
constexpr const char* source_size_failure(std::size_t got) {
  return got < ines::kSourceImageSize ? kSourceTooShort : nullptr;
}

}  // namespace common

#endif  // NESEXPAND_COMMON_MESSAGES_H_
