#include "IndexCatalogue.h"

#include "IndexRoots.h"
#include "Text.h"

#include <xapian.h>
#include <zip.h>

#include <sys/stat.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>

namespace fs = std::filesystem;

namespace {

constexpr std::size_t TEXT_LIMIT = 1024 * 1024; // what is read of a file's contents
constexpr std::size_t SNIFF_BYTES = 8192;
constexpr std::size_t SNIPPET_BYTES = 200;
constexpr unsigned STAMP_SLOT = 0;
constexpr int NAME_WEIGHT = 4;

std::string Lower(const std::string& text) {
    return base::LowerAscii(text);
}

bool IsHidden(const std::string& name) {
    return name.empty() || name[0] == '.' || base::LowerAscii(name).ends_with(".desc");
}

// The words of a name: "read_me-first.txt" also as "read me first txt".
std::string NameWords(const std::string& name) {
    std::string words = name;
    for (char& c : words) {
        if (c == '_' || c == '-' || c == '.') {
            c = ' ';
        }
    }
    return words;
}

bool IsTextMember(const std::string& name) {
    const std::string lower = Lower(name);
    for (const char* extension : {".txt", ".diz", ".nfo", ".md", ".1st", "readme"}) {
        if (lower.ends_with(extension)) {
            return true;
        }
    }
    return false;
}

// What words see of an archive: its members' names, and the text of its read-me and
// description members, at most `limit` bytes read in all.
std::string ArchiveText(const fs::path& file, std::size_t limit) {
    int error = 0;
    zip_t* archive = zip_open(file.c_str(), ZIP_RDONLY, &error);
    if (archive == nullptr) {
        return {};
    }
    std::string text;
    const zip_int64_t count = zip_get_num_entries(archive, 0);
    for (zip_int64_t i = 0; i < count && text.size() < limit; ++i) {
        zip_stat_t info;
        if (zip_stat_index(archive, static_cast<zip_uint64_t>(i), 0, &info) != 0 ||
            (info.valid & ZIP_STAT_NAME) == 0) {
            continue;
        }
        const std::string name = info.name;
        text += NameWords(name) + "\n";
        if (!IsTextMember(name) || (info.valid & ZIP_STAT_SIZE) == 0) {
            continue;
        }
        zip_file_t* member = zip_fopen_index(archive, static_cast<zip_uint64_t>(i), 0);
        if (member == nullptr) {
            continue;
        }
        // Read by the bytes that arrive, not the size the archive claims.
        std::string body(std::min<std::size_t>(limit - text.size(), 64 * 1024), '\0');
        const zip_int64_t read = zip_fread(member, body.data(), body.size());
        zip_fclose(member);
        if (read > 0) {
            body.resize(static_cast<std::size_t>(read));
            if (body.find('\0') == std::string::npos) {
                text += body + "\n";
            }
        }
    }
    zip_discard(archive);
    return text;
}

// The text of a file as words see it: nothing for a binary file (a NUL near its start), the
// tags of a page dropped, an archive's member names and read-me texts.
std::string ReadText(const fs::path& file, std::size_t limit) {
    if (Lower(file.extension().string()) == ".zip") {
        std::string text = ArchiveText(file, limit);
        text.resize(base::Utf8CompleteLength(text));
        return text;
    }
    std::ifstream in(file, std::ios::binary);
    std::string text(limit, '\0');
    in.read(text.data(), static_cast<std::streamsize>(limit));
    text.resize(static_cast<std::size_t>(in.gcount()));
    if (text.find('\0') < SNIFF_BYTES) {
        return {};
    }
    const std::string extension = Lower(file.extension().string());
    if (extension == ".html" || extension == ".htm" || extension == ".asp") {
        std::string plain;
        bool inTag = false;
        for (const char c : text) {
            if (c == '<') {
                inTag = true;
            } else if (c == '>' && inTag) {
                inTag = false;
                plain += ' ';
            } else if (!inTag) {
                plain += c;
            }
        }
        text = plain;
    }
    text.resize(base::Utf8CompleteLength(text));
    return text;
}

std::string Address(const std::string& root, const std::string& relative) {
    return (root == "/" ? "" : root) + "/" + relative;
}

std::string Stamp(const struct stat& info) {
    return std::to_string(static_cast<long long>(info.st_mtime)) + ":" +
           std::to_string(static_cast<long long>(info.st_size));
}

struct CDocumentData {
    std::string address;
    std::string name;
    std::string file;
    long long size = 0;
    long long modified = 0;
};

std::string EncodeData(const CDocumentData& data) {
    return data.address + "\n" + data.name + "\n" + data.file + "\n" + std::to_string(data.size) +
           "\n" + std::to_string(data.modified);
}

CDocumentData DecodeData(const std::string& text) {
    CDocumentData data;
    std::istringstream in(text);
    std::string size;
    std::string modified;
    std::getline(in, data.address);
    std::getline(in, data.name);
    std::getline(in, data.file);
    std::getline(in, size);
    std::getline(in, modified);
    data.size = std::atoll(size.c_str());
    data.modified = std::atoll(modified.c_str());
    return data;
}

// A term Xapian can hold: terms are limited to 245 bytes.
std::string Term(const std::string& prefix, const std::string& text) {
    return prefix + std::string(base::CutUtf8(text, 240 - prefix.size()));
}

void IndexRoot(Xapian::WritableDatabase& db, Xapian::TermGenerator& generator,
               const CIndexRootEntry& root, std::set<std::string>& seen, CIndexRun& run) {
    std::error_code ec;
    const fs::path top(root.path);
    fs::recursive_directory_iterator it(top, fs::directory_options::skip_permission_denied, ec);
    for (; !ec && it != fs::recursive_directory_iterator(); it.increment(ec)) {
        const fs::path& path = it->path();
        const std::string name = path.filename().string();
        struct stat info {};
        if (IsHidden(name) || lstat(path.c_str(), &info) != 0 ||
            (!S_ISREG(info.st_mode) && !S_ISDIR(info.st_mode))) {
            if (it->is_directory(ec) || S_ISLNK(info.st_mode)) {
                it.disable_recursion_pending();
            }
            continue;
        }
        if (S_ISDIR(info.st_mode)) {
            continue;
        }
        const std::string relative = path.lexically_relative(top).generic_string();
        const std::string address = Address(root.root, relative);
        const std::string unique = Term("Q", address);
        seen.insert(unique);
        ++run.files;
        const std::string stamp = Stamp(info);
        Xapian::PostingIterator existing = db.postlist_begin(unique);
        if (existing != db.postlist_end(unique) &&
            db.get_document(*existing).get_value(STAMP_SLOT) == stamp) {
            continue;
        }
        Xapian::Document document;
        generator.set_document(document);
        generator.index_text(name, NAME_WEIGHT);
        generator.increase_termpos();
        generator.index_text(NameWords(name), NAME_WEIGHT);
        generator.increase_termpos();
        generator.index_text(ReadText(path, TEXT_LIMIT));
        document.add_boolean_term(unique);
        std::string prefix;
        const std::string lower = Lower(address);
        for (std::size_t slash = lower.find('/', 1); slash != std::string::npos;
             slash = lower.find('/', slash + 1)) {
            document.add_boolean_term(Term("XP", lower.substr(0, slash)));
        }
        document.add_value(STAMP_SLOT, stamp);
        document.set_data(
            EncodeData({address, name, path.string(), static_cast<long long>(info.st_size),
                        static_cast<long long>(info.st_mtime)}));
        db.replace_document(unique, document);
        ++run.read;
    }
}

} // namespace

bool UpdateIndex(const std::string& indexDir, const std::vector<CIndexRootEntry>& roots,
                 CIndexRun& run, std::string& error) {
    run = {};
    try {
        Xapian::WritableDatabase db(indexDir + "/xapian", Xapian::DB_CREATE_OR_OPEN);
        Xapian::TermGenerator generator;
        generator.set_stemmer(Xapian::Stem("english"));
        std::set<std::string> seen;
        for (const CIndexRootEntry& root : roots) {
            IndexRoot(db, generator, root, seen, run);
        }
        std::vector<Xapian::docid> gone;
        for (auto term = db.allterms_begin("Q"); term != db.allterms_end("Q"); ++term) {
            if (seen.count(*term) == 0) {
                for (auto post = db.postlist_begin(*term); post != db.postlist_end(*term); ++post) {
                    gone.push_back(*post);
                }
            }
        }
        for (const Xapian::docid id : gone) {
            db.delete_document(id);
        }
        run.removed = gone.size();
        db.commit();
        return true;
    } catch (const Xapian::Error& e) {
        error = "the index in " + indexDir + " cannot be written: " + e.get_description();
        return false;
    }
}

bool SearchIndex(const std::string& indexDir, const std::string& query,
                 const std::vector<std::string>& scopes, std::size_t first, std::size_t count,
                 CSearchResult& result, std::string& error) {
    result = {};
    try {
        std::error_code ec;
        if (!fs::exists(indexDir + "/xapian", ec)) {
            return true; // nothing indexed yet
        }
        Xapian::Database db(indexDir + "/xapian");
        Xapian::QueryParser parser;
        parser.set_stemmer(Xapian::Stem("english"));
        parser.set_stemming_strategy(Xapian::QueryParser::STEM_SOME);
        parser.set_database(db);
        Xapian::Query parsed = parser.parse_query(query, Xapian::QueryParser::FLAG_DEFAULT |
                                                             Xapian::QueryParser::FLAG_WILDCARD);
        std::vector<Xapian::Query> filters;
        bool everywhere = scopes.empty();
        for (std::string scope : scopes) {
            while (!scope.empty() && scope.back() == '/') {
                scope.pop_back();
            }
            if (scope.empty()) {
                everywhere = true;
                break;
            }
            filters.emplace_back(Term("XP", Lower(scope)));
        }
        if (!everywhere) {
            parsed =
                Xapian::Query(Xapian::Query::OP_FILTER, parsed,
                              Xapian::Query(Xapian::Query::OP_OR, filters.begin(), filters.end()));
        }
        Xapian::Enquire enquire(db);
        enquire.set_query(parsed);
        const Xapian::MSet matches = enquire.get_mset(static_cast<Xapian::doccount>(first),
                                                      static_cast<Xapian::doccount>(count));
        result.estimated = matches.get_matches_estimated();
        for (auto match = matches.begin(); match != matches.end(); ++match) {
            const CDocumentData data = DecodeData(match.get_document().get_data());
            CSearchHit hit;
            hit.address = data.address;
            hit.name = data.name;
            hit.size = data.size;
            hit.modified = data.modified;
            hit.percent = match.get_percent();
            const std::string text = ReadText(data.file, 64 * 1024);
            // A file without text has nothing to show around the match but its name.
            hit.snippet =
                text.empty()
                    ? std::string()
                    : matches.snippet(text, SNIPPET_BYTES, Xapian::Stem("english"),
                                      Xapian::MSet::SNIPPET_EXHAUSTIVE, "<b>", "</b>", "…");
            result.hits.push_back(hit);
        }
        return true;
    } catch (const Xapian::Error& e) {
        error = "the index in " + indexDir + " cannot be searched: " + e.get_description();
        return false;
    }
}
