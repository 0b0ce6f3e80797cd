#pragma once

#include <iosfwd>
#include <string>
#include <vector>

namespace brindle {

// The brindle-text command, arguments after the program's own name:
//   PROGRAM            the program's BASIC as UTF-8 text on out
//   -o PROGRAM TEXT    makes PROGRAM from TEXT, or from in when TEXT is "-"
// The machine and the format follow PROGRAM's extension (.p, .81, .p81 ZX81; .o ZX80). Returns
// the exit status: 0 done, 1 bad input (told on err), 2 bad usage.
int RunTextTool(const std::vector<std::string>& args, std::istream& in, std::ostream& out,
                std::ostream& err);

}  // namespace brindle
