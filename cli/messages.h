// Everything the tool says, and the exit statuses it ends with.
#ifndef NESEXPAND_CLI_MESSAGES_H_
#define NESEXPAND_CLI_MESSAGES_H_

namespace cli {

constexpr int kExitSuccess = 0;
constexpr int kExitFailure = 1;

// Stands in for an empty invocation name in the usage line.
constexpr char kToolName[] = "nesexpand";

constexpr char kCannotOpenSource[] = "Unable to open source file.\n";
constexpr char kCannotReadSource[] = "Unable to read source file.\n";
constexpr char kSourceTooShort[] = "Source file is too short.\n";
constexpr char kCannotCreateOutput[] = "Unable to create expanded ROM file.\n";
constexpr char kSameFile[] = "Source file and expanded ROM file are the same file.\n";
constexpr char kCannotWriteOutput[] = "Unable to write expanded ROM file.\n";
constexpr char kOutOfMemory[] = "Out of memory.\n";

// Prints the usage line with the name the tool was started under.
int usage(const char* invocation_name);

// Prints one of the messages above on standard output.
int fail(const char* message);

}  // namespace cli

#endif  // NESEXPAND_CLI_MESSAGES_H_
