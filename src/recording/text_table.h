#pragma once

#include <algorithm>
#include <array>
#include <cstddef>
#include <string>

namespace quorvane::recording {

// What the tables shown on standard error share: columns two spaces apart,
// sized to their widest cell, and on a narrow terminal the columns that
// matter least left out until the table fits.
constexpr std::size_t kColumnGap = 2;

template <std::size_t Count>
using ColumnWidths = std::array<std::size_t, Count>;
template <std::size_t Count>
using ShownColumns = std::array<bool, Count>;

// How many columns `text` takes on a terminal: one a character (UTF-8
// continuation bytes take none).
inline std::size_t textColumns(const std::string& text) {
    return static_cast<std::size_t>(
        std::count_if(text.begin(), text.end(), [](char byte) { return (byte & 0xC0) != 0x80; }));
}

template <std::size_t Count, typename Rows>
ColumnWidths<Count> columnWidths(const std::array<std::string, Count>& headings, const Rows& rows) {
    ColumnWidths<Count> widths{};
    for (std::size_t column = 0; column < Count; ++column) {
        widths[column] = textColumns(headings[column]);
        for (const auto& row : rows) {
            widths[column] = std::max(widths[column], textColumns(row[column]));
        }
    }
    return widths;
}

template <std::size_t Count>
std::size_t tableWidth(const ColumnWidths<Count>& widths, const ShownColumns<Count>& shown) {
    std::size_t width = 0;
    for (std::size_t column = 0; column < Count; ++column) {
        if (shown[column]) {
            width += (width == 0 ? 0 : kColumnGap) + widths[column];
        }
    }
    return width;
}

// Every column when `columns` is 0 (not a terminal), else the columns of
// `droppedFirst` left out in their order until the table fits (or none of
// them is left).
template <std::size_t Count, std::size_t Dropped>
ShownColumns<Count> fittingColumns(const ColumnWidths<Count>& widths,
                                   const std::array<std::size_t, Dropped>& droppedFirst, std::size_t columns) {
    ShownColumns<Count> shown;
    shown.fill(true);
    for (std::size_t dropped : droppedFirst) {
        if (columns == 0 || tableWidth(widths, shown) <= columns) {
            break;
        }
        shown[dropped] = false;
    }
    return shown;
}

}  // namespace quorvane::recording
