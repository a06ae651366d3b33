#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <vector>

namespace quorvane::upload {

// One part of a status text. `lead` joins it to the part before it and is
// left out when the part comes first. When the text is too wide for the
// terminal, the part with the highest `dropRank` goes first.
struct TextPart {
    std::string lead;
    std::string text;
    int dropRank = 0;
};

using StatusText = std::vector<TextPart>;

// Every part, joined.
std::string wholeText(const StatusText& parts);

// The text in at most `columns` characters (one at least): parts left out,
// the highest dropRank first, until it fits; when even the last part left is
// too wide, it is cut.
std::string fittedText(StatusText parts, std::size_t columns);

// The width of the terminal, in columns; 0 when it is not known.
using ColumnQuery = std::function<int()>;

// The width of standard error's terminal.
int standardErrorColumns();

// A line of status on standard error. On a terminal one line is rewritten in
// place, each text fitted to the terminal's width (asked anew every time,
// since the window may be resized; 80 columns when it is not known). Anywhere
// else (a log file, a pipe) every text is added whole, as a line of its own.
class StatusLine {
public:
    explicit StatusLine(bool onTerminal, ColumnQuery columns = standardErrorColumns);

    bool onTerminal() const { return terminal_; }

    // Shows `text` in place of the text shown before.
    void show(const StatusText& text);

    // Shows `text` in place of the text shown before and ends the line.
    void end(const StatusText& text);

    // Takes the text shown off the terminal, leaving the cursor at the line's
    // start for another message; nothing away from a terminal.
    void clear();

private:
    std::size_t widthLimit() const;
    void rewrite(const StatusText& text, bool endLine);

    bool terminal_;
    ColumnQuery columns_;
};

}  // namespace quorvane::upload
