#pragma once
// The hive files on disk: where they live, reading under a shared lock, and atomic replacement
// under an exclusive one.

#include "RegText.h"

#include <functional>
#include <memory>
#include <string>

namespace hivestore {

using regtext::CKey;
using regtext::ERoot;

// The file holding a root's hive, and its directory.
std::string HiveDirectory(ERoot root);
std::string HivePath(ERoot root);

// The current tree of a hive (a missing file is an empty hive). ERROR_BADDB when it cannot be
// parsed; ERROR_ACCESS_DENIED or ERROR_CANTREAD when it cannot be read.
LONG ReadHive(ERoot root, std::shared_ptr<const CKey>& tree);

// "<file>:<line>: <fault>" for a hive that cannot be parsed, "<file>: <reason>" for one that
// cannot be read, "" otherwise.
std::string HiveError(ERoot root);

// Reads the hive under an exclusive lock, lets `change` edit a copy of it and, when the change
// succeeds and says it changed something, replaces the file with the new text. A result other
// than ERROR_SUCCESS from `change` is returned with nothing written.
using Change = std::function<LONG(CKey& rootKey, bool& changed)>;
LONG ModifyHive(ERoot root, const Change& change);

} // namespace hivestore
