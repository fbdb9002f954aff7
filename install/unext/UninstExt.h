#pragma once
// libuninstext: what the uninstall program calls when Dorvale is removed. UninstInitialize
// undoes what the installation recorded in the removal record file "_UNINST.INI" in the
// directory of the file the program's "-c" argument names; UninstUnInitialize does nothing.
//
// The record is processed in this order: virtual directories (an application first, where
// one is recorded), services (stopped, then deleted), the removal commands of programs the
// installation ran (last first, each an argument vector, never a shell), data sources. Only
// what the installation made is touched: an entry naming a directory outside the record's
// directory, a service or data source that does not carry the record's mark, or a removal
// command of another program is reported and left alone. A record file that others than its
// owner (root or the caller) may change is not read at all.

#ifdef __cplusplus
extern "C" {
#endif

#define UNINSTEXT_EXPORT __attribute__((visibility("default")))

// NOLINTBEGIN(readability-identifier-naming): the uninstall program's own entry points.

// Processes the record of the "-c" argument; reports on standard error. Always 0.
UNINSTEXT_EXPORT int UninstInitialize(void);
// Nothing to do; 0.
UNINSTEXT_EXPORT int UninstUnInitialize(void);

// Called with one line for each entry of the record that is not removed: `left` 1 when it is
// left in place (not the installation's, or its removal failed), 0 when there was nothing to
// remove. `section` and `key` name the entry.
typedef void (*UninstReport)(void* context, const char* section, const char* key, const char* line,
                             int left);
// Processes the record file `recordFile` as UninstInitialize does, reporting through
// `report` (null: not at all). The number of entries left alone or failed; -1 when the
// record could not be read.
UNINSTEXT_EXPORT int UninstProcessRecord(const char* recordFile, UninstReport report,
                                         void* context);

// NOLINTEND(readability-identifier-naming)

#ifdef __cplusplus
}
#endif
