#pragma once

namespace keldrive::platform {

// True when standard error is a terminal, where progress bars are drawn.
bool StderrIsTerminal();
// Whether standard input is a terminal someone can answer a question at.
bool StdinIsTerminal();

// Columns of the terminal on standard error; 80 when unknown.
int TerminalColumns();

}  // namespace keldrive::platform
