// What the command line does differently on Windows, where Explorer gives
// the tool a console window of its own and the C++ library may not tell a
// link from a file; cli/windows/system.cc holds it, cli/system_posix.cc
// the rest.
#ifndef NESEXPAND_CLI_SYSTEM_H_
#define NESEXPAND_CLI_SYSTEM_H_

#include <filesystem>

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

// Whether `name` itself is a regular file: not a link to one, a device or
// a folder. False when that cannot be told.
bool names_regular_file(const std::filesystem::path& name);

}  // namespace cli

#endif  // NESEXPAND_CLI_SYSTEM_H_
