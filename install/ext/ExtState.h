#pragma once
// What the exports of libinstallext share: the removal record file's path, recording an
// entry, the thread's last error and copying results into the caller's buffers.

#include <string>
#include <string_view>

namespace installext {

// The path SetUninstallINI stored; empty when none.
std::string RecordPath();

// Adds an entry to the record when one is set. An entry of "Executed Programs Remove" whose
// key is already taken by another command gets a numbered key ("program#2"), so no removal
// command is lost. False, with the error set, when the record cannot be written.
[[nodiscard]] bool Record(const char* section, const std::string& key, const std::string& value);

// The calling thread's last error; SetError returns false for `return SetError(...)`.
bool SetError(std::string text);
void ClearError();
const std::string& LastError();

// Copies `text` with its NUL into `out` of `size` bytes, cut where no UTF-8 sequence is
// split; false when `out` is null or size < 1.
bool CopyOut(std::string_view text, char* out, std::size_t size);

// The text of a C string argument, empty for null.
inline std::string Text(const char* text) {
    return text == nullptr ? std::string() : std::string(text);
}

} // namespace installext
