#pragma once
// Which virtual roots the index server knows and which it indexes.
//
// It knows the web server's roots that visitors can read (those of the site's instance in the
// metabase, else those of W3SVC's Virtual Roots registry key) and the roots the last update
// form named. It indexes a known root when the metabase marks it content-indexed (property
// 6039) or the last update form sent an INDEX_ field for it; the directory indexed is always
// the one the web server publishes, so that the form, which any visitor can post and which
// carries its paths in lower case, cannot point the index anywhere else.
//
// The roots of the last form are kept in <index directory>/roots.txt, one "root TAB path TAB
// 0|1" line each, replaced atomically.

#include <string>
#include <vector>

struct CIndexRootEntry {
    std::string root; // lower case, as the exchange carries it
    std::string path;
    bool indexed = false;

    bool operator==(const CIndexRootEntry&) const = default;
};

// The web server's readable roots, names in lower case.
std::vector<CIndexRootEntry> ListWebRoots();
// The roots the metabase marks content-indexed, names in lower case.
std::vector<std::string> ListMarkedRoots();

// The form of an update: every PROOT_ field in order, indexed when an INDEX_ field names it.
// Values are decoded as a form encodes them ("+" a space, "%XX" a byte).
std::vector<CIndexRootEntry> ParseUpdateForm(const std::string& body);
std::string DecodeFormText(const std::string& text);

bool LoadStoredRoots(const std::string& indexDir, std::vector<CIndexRootEntry>& roots);
bool SaveStoredRoots(const std::string& indexDir, const std::vector<CIndexRootEntry>& roots,
                     std::string& error);

// The answer of the root list: a "vroot=" and a "path=" line per root, the web server's
// first, then those only the last form named.
std::string RootListText(const std::vector<CIndexRootEntry>& web,
                         const std::vector<CIndexRootEntry>& stored);

// The roots to index, each with the web server's directory for it: the stored roots marked
// indexed and the marked ones, where the web server publishes them and the directory may be
// published. What is left out is named in `skipped` with the reason.
std::vector<CIndexRootEntry> RootsToIndex(const std::vector<CIndexRootEntry>& web,
                                          const std::vector<CIndexRootEntry>& stored,
                                          const std::vector<std::string>& marked,
                                          std::vector<std::string>& skipped);
