// How the command line reports: the usage line, one message on standard
// output, and the exit statuses.
#ifndef NESEXPAND_CLI_REPORT_H_
#define NESEXPAND_CLI_REPORT_H_

namespace cli {

constexpr int kExitSuccess = 0;
constexpr int kExitFailure = 1;

// Stands in for an empty invocation name in the usage line.
constexpr char kToolName[] = "nesexpand";

// Prints the usage line with the name the tool was started under.
void usage(const char* invocation_name);

// Prints one of the messages of common/messages.h on standard output.
int fail(const char* message);

}  // namespace cli

#endif  // NESEXPAND_CLI_REPORT_H_
