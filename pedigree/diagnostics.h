// The one place through which the program talks to the console.
// Errors and warnings go to standard error prefixed "Haplotor: "; standard
// output carries only what the tool's contract puts there (usage text,
// Mendelian error lines, the block-extension diagnostics).
#pragma once

#include <string_view>

namespace diagnostics {

// One line "Haplotor: <message>" on standard error.
void error(std::string_view message);
// Text written as is to standard output (buffered).
void console(std::string_view text);
void flushConsole();

}  // namespace diagnostics
