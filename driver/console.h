// Whether to keep a failure's report on screen, where the console window
// closes with the program: the decision, the same everywhere; the waiting
// itself is hold_report_on_screen (platform.h).
#pragma once

namespace driver {

// What the program knows of its console as it ends.
struct console_facts {
  // Processes attached to the program's console, itself included; 0 where it
  // has none.
  unsigned long attached_processes;
  // Standard input reads from that console (not a file, a pipe or NUL).
  bool input_is_console;
};

// True where the window would close with the report unread and Enter can be
// read: the program is its console's only process (started from Explorer,
// not from a Command Prompt, PowerShell, a batch file or another program that
// shares the console) and its standard input is that console.
bool should_wait_for_enter(const console_facts& facts);

// The line that asks for Enter.
inline constexpr char WAIT_PROMPT[] = "Press Enter to close this window.\n";

}  // namespace driver
