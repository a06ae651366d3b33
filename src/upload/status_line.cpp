#include "upload/status_line.h"

#include <algorithm>
#include <cstdio>
#include <utility>

#include "platform/diagnostics.h"

namespace quorvane::upload {

namespace {

constexpr int kUnknownTerminalColumns = 80;

}  // namespace

std::string wholeText(const StatusText& parts) {
    std::string joined;
    for (std::size_t index = 0; index < parts.size(); ++index) {
        joined += (index == 0 ? "" : parts[index].lead) + parts[index].text;
    }
    return joined;
}

std::string fittedText(StatusText parts, std::size_t columns) {
    columns = std::max<std::size_t>(columns, 1);
    std::string text = wholeText(parts);
    while (text.size() > columns && parts.size() > 1) {
        parts.erase(std::max_element(parts.begin(), parts.end(), [](const TextPart& left, const TextPart& right) {
            return left.dropRank < right.dropRank;
        }));
        text = wholeText(parts);
    }
    return text.substr(0, columns);
}

int standardErrorColumns() {
    return platform::diagnosticColumns();
}

StatusLine::StatusLine(bool onTerminal, ColumnQuery columns) : terminal_(onTerminal), columns_(std::move(columns)) {}

void StatusLine::show(const StatusText& text) {
    rewrite(text, false);
}

void StatusLine::end(const StatusText& text) {
    rewrite(text, true);
}

void StatusLine::clear() {
    if (terminal_) {
        platform::clearStatus(widthLimit());
    }
}

// A text that reaches a terminal's last column moves the cursor on to the
// next row on some terminals (the Windows console), where the next carriage
// return would rewrite that row only: the line stays a column short of it.
std::size_t StatusLine::widthLimit() const {
    const int known = columns_ ? columns_() : 0;
    return static_cast<std::size_t>(std::max(known > 0 ? known : kUnknownTerminalColumns, 2) - 1);
}

// On a terminal the console writer rewrites the line in place, and takes it
// off the line before any other text.
void StatusLine::rewrite(const StatusText& text, bool endLine) {
    if (!terminal_) {
        platform::showText("%s\n", wholeText(text).c_str());
        return;
    }
    const std::size_t limit = widthLimit();
    platform::showStatus(fittedText(text, limit), limit, endLine);
}

}  // namespace quorvane::upload
