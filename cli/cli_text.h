#pragma once
// Text for the subcommands' output: what the LAN sent made safe for a
// terminal, and columns aligned for people.
#include <string>
#include <vector>

namespace cli {

// Peer text (UTF-8, unchecked) for one line of a terminal, by the window's
// rule (peertext::Line: controls, escape sequences, bidirectional marks and
// bytes that are not UTF-8 become U+FFFD); cut to at most maxChars
// characters with "…".
std::string Printable(const std::string& utf8, size_t maxChars = 256);

// Columns that display width (East Asian wide characters count two) keeps
// aligned; the last column is not padded.
std::string Table(const std::vector<std::vector<std::string>>& rows);

}  // namespace cli
