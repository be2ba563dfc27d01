#pragma once
// Text a peer sent (names, models, errors), made safe to show on one line:
// the one rule for the window's tooltips and the command line's output.
#include <cstddef>
#include <string>

namespace peertext {

// Peer text (UTF-8, unchecked) for one line of plain text: every control
// character (C0, DEL, C1: escape sequences lose their ESC or CSI), every
// format character (the bidirectional marks, embeddings, overrides and
// isolates among them), the line and paragraph separators, and bytes that
// are not UTF-8 become U+FFFD. Cut to at most maxChars code points, the last
// of them "…" when cut.
std::string Line(const std::string& utf8, size_t maxChars);

}  // namespace peertext
