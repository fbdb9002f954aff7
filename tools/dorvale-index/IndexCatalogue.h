#pragma once
// The search index over Xapian: one document per published file of the indexed roots, found
// by the words of its name and, for text, of its contents.
//
// A document is known by its address (root alias + path below the root) through the unique
// term "Q<address>"; it carries a boolean term "XP<prefix>" for every directory its address
// lies below, in lower case, so that a scope ("/pub") is one filter term. Its data is the
// address, the file's name, directory, size and modification time; the value slot 0 holds
// "mtime:size", so that an unchanged file is not read again. What the web server would not
// serve (dotfiles, upload descriptions *.desc, symbolic links) is not indexed either.

#include <cstddef>
#include <string>
#include <vector>

struct CIndexRootEntry;

struct CIndexRun {
    std::size_t files = 0;   // files of the indexed roots
    std::size_t read = 0;    // of them, (re)indexed because new or changed
    std::size_t removed = 0; // documents of files gone or roots no longer indexed
};

// Brings the index in `indexDir` up to the roots: new and changed files indexed, documents of
// files and roots gone removed. False with the reason when the index cannot be written.
bool UpdateIndex(const std::string& indexDir, const std::vector<CIndexRootEntry>& roots,
                 CIndexRun& run, std::string& error);

struct CSearchHit {
    std::string address; // where the web server serves it
    std::string name;
    long long size = 0;
    long long modified = 0; // seconds since the epoch
    std::string snippet;    // HTML: escaped text with the matched words in <b>
    int percent = 0;
};

struct CSearchResult {
    std::vector<CSearchHit> hits;
    std::size_t estimated = 0; // of all pages
};

// The query in the index, only documents below one of `scopes` (none, or "/": everywhere);
// `first` hits skipped, at most `count` given.
bool SearchIndex(const std::string& indexDir, const std::string& query,
                 const std::vector<std::string>& scopes, std::size_t first, std::size_t count,
                 CSearchResult& result, std::string& error);
