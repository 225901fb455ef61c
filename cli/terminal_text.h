// Text from devices and from the command line, made safe to print on a
// terminal. Device strings are untrusted input: a control character in a
// serial number could recolour, retitle or move the cursor of the terminal
// that runs the command. Such characters show as the escapes a shell's $'...'
// reads instead.
#pragma once

#include <string>
#include <string_view>

namespace merovane {

// `text` with everything a terminal could act on written out as an escape:
// C0 controls and DEL as \xHH (ESC as \x1b), C1 controls (U+0080 to U+009F)
// as \u0080 to \u009f, and a backslash as \\, so that no escape is ambiguous.
// A byte that is not part of well-formed UTF-8 shows as \xHH too: a terminal
// not in UTF-8 mode takes the bytes 0x80 to 0x9F as C1 controls, and the
// escape tells which byte it was where a replacement character would not.
// All other text, printable characters beyond ASCII included, stays as it is.
std::string TerminalSafe(std::string_view text);

// `text` echoed in a message: terminal-safe and in single quotes. Text longer
// than any string a USB device can give (126 characters) is cut, and an
// ellipsis after the closing quote says so: only typed text is ever cut.
std::string Quoted(std::string_view text);

} // namespace merovane
