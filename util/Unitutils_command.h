#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

// The place of the address in an open command.
inline constexpr char kCommandPlaceholder[] = "%1";

// Cuts command into program arguments the way a POSIX shell splits words and removes quotes,
// with no expansion of any kind: unquoted blanks (space, tab, newline) separate arguments;
// '...' keeps its bytes; "..." keeps its bytes but for a "\" before $ ` " \ or a newline (the
// pair gives the second byte; "\" and a newline give nothing); an unquoted "\" keeps the byte
// after it. Then the first "%1" of command is replaced by address inside the argument it fell
// in, so the address is exactly one argument or a part of one, and none of its bytes is read.
// False when a quote is left open, there is no argument, command holds no "%1", or that "%1"
// falls in the first argument (the program itself).
bool CommandArguments(std::string_view command, std::string_view address,
                      std::vector<std::string>& args);

// Turns the Exec line of a desktop entry, its field codes unexpanded, into an open command that
// CommandArguments reads: the line is split into arguments as CommandArguments does; in each,
// %u %U %f %F become "%1", "%%" becomes "%", a "%" at the end stays, and %i %c %k and every
// other code are dropped (with the argument, when it was made of dropped codes only). Arguments
// are quoted where they need it, and a "%1" that came from the line's text is quoted so that it
// stays text. Nothing when the line does not split, no program is left, or the program is made
// from a field code.
std::optional<std::string> ExecLineToCommand(std::string_view execLine);
