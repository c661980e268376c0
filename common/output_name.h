// The output name rule, shared by every front end: where the expanded
// image goes, beside the source.
#ifndef NESEXPAND_COMMON_OUTPUT_NAME_H_
#define NESEXPAND_COMMON_OUTPUT_NAME_H_

#include <memory>

namespace common {

// The name the expanded image is written under, beside the source: a
// trailing ".nes" (lower case only) is replaced by "_expanded.nes", any
// other name gets "_expanded.nes" appended. Nothing else is looked at.
// Returns nullptr when memory for the name cannot be had.
std::unique_ptr<char[]> make_output_name(const char* source_name);

}  // namespace common

#endif  // NESEXPAND_COMMON_OUTPUT_NAME_H_
