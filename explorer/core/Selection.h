#pragma once
// Selected rows of a list the core keeps: cleaned up before use, removed after.

#include <algorithm>
#include <cstddef>
#include <vector>

// The rows in ascending order, each once, all inside a list of `size` entries.
inline std::vector<std::size_t> ValidRows(std::vector<std::size_t> rows, std::size_t size) {
    std::sort(rows.begin(), rows.end());
    rows.erase(std::unique(rows.begin(), rows.end()), rows.end());
    rows.erase(
        std::remove_if(rows.begin(), rows.end(), [size](std::size_t row) { return row >= size; }),
        rows.end());
    return rows;
}

// Removes the rows (each once, inside the list) from `entries`.
template <class TEntry>
void EraseRows(std::vector<TEntry>& entries, std::vector<std::size_t> rows) {
    std::sort(rows.rbegin(), rows.rend());
    for (std::size_t row : rows) {
        entries.erase(entries.begin() + static_cast<std::ptrdiff_t>(row));
    }
}
