#pragma once

#include <cstddef>
#include <string>

namespace bg {

// Text that came from outside (a phone's name, a command's body) on its way
// to a terminal, a log line or a label. Control characters, the C1 controls,
// the bidirectional overrides and every byte that is not valid UTF-8 become
// visible escapes ("\n", "\x1b", "\u202e"), so such text can neither steer a
// terminal nor start a line of its own. Valid UTF-8 text stays as it is.
std::string EscapeControls(const std::string& text);

// At most maxChars characters of valid UTF-8 `text`; a longer text is cut at
// a character boundary and ends in "…" (which counts towards maxChars).
std::string CutText(const std::string& text, size_t maxChars);

// EscapeControls, then CutText: what a person is shown of a foreign string.
std::string PlainText(const std::string& text, size_t maxChars = 64);

}  // namespace bg
