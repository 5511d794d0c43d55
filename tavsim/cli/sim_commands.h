// The subcommands of the tavsim command.
#ifndef TAVSIM_SIM_COMMANDS_H
#define TAVSIM_SIM_COMMANDS_H

#include <string>
#include <vector>

namespace tavsim {

using Args = std::vector<std::string>;

int commandInit(const Args& args);
int commandRun(const Args& args);
int commandShow(const Args& args);
int commandInject(const Args& args);
int commandSyslog(const Args& args);

// A number in decimal or with 0x, at most `max`; false when the text is not one.
bool parseNumber(const std::string& text, unsigned long max, unsigned long* value);

// Prints "tavsim: <message>" on standard error and returns `status`.
int complain(const std::string& message, int status = 1);

}  // namespace tavsim

#endif
