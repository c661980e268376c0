// Started from Explorer, by a double-click or with a file dropped onto the
// .exe, the tool gets a console window of its own, which closes the moment
// the tool exits. After a failure that window is held open until Enter is
// pressed, so that the message can be read. Anywhere else (a terminal, a
// script, redirected streams, another system) nothing ever waits.
#ifndef NESEXPAND_CLI_WINDOW_H_
#define NESEXPAND_CLI_WINDOW_H_

namespace cli {

// Called once a failure or the usage line has been printed; `no_argument`
// says that it was the usage line: nothing was dropped onto the tool.
void hold_window_after_failure(bool no_argument);

}  // namespace cli

#endif  // NESEXPAND_CLI_WINDOW_H_
