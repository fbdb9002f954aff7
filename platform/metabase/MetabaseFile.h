#pragma once
// The metabase on disk: one text file beside the registry's hives ("metabase.txt" in
// $DORVALE_REGISTRY, else /var/lib/dorvale/registry), replaced whole and atomically
// (temporary file, fsync, rename), so a crash leaves the old tree or the new one. Readers
// take a shared lock on "metabase.lock" beside it, a writer an exclusive one; a lock that
// cannot be had within the time-out is refused, never waited for without end.

#include "Fd.h"
#include "MetabaseTree.h"

#include <string>

namespace metabase {

// The directory the metabase lives in.
std::string MetabaseDirectory();

// One lock on the metabase, held until released or destroyed.
class CMetabaseLock {
public:
    // Waits at most timeoutMs for the lock; false when it was not had (errno EBUSY) or the
    // lock file cannot be opened.
    [[nodiscard]] bool Acquire(const std::string& directory, bool exclusive, unsigned timeoutMs);
    void Release() { m_fd.Reset(); }
    bool IsHeld() const { return m_fd.IsOpen(); }

private:
    base::CFd m_fd;
};

// Reads the tree; a missing file is a tree holding only /LM. False with "<file>: reason" or
// "<file>:line N: fault" when it cannot be read or parsed.
bool LoadTree(const std::string& directory, CTree& tree, std::string& error);
// Replaces the file by the tree's text. False with the reason when it cannot be written; the
// old file then stays.
bool SaveTree(const std::string& directory, const CTree& tree, std::string& error);

} // namespace metabase
