#pragma once
// The "Index Server" button of the File Areas tab: tells the index server which web virtual
// roots to index, the site's own fixed one and every root under which a locally hosted area
// is published over HTTP.
//
// With the metabase (kind 4) the roots are marked content-indexed and their names become the
// scope of the search query file, QueryHit.idq, made from QueryHit.tmpl. With the registry
// kind (kind 3) the index server is told over HTTP: its list of roots is fetched from
// /dorvaleindex/listvirtualroots.idq (three attempts, a wait before the second and third) and
// the update is posted to /dorvaleindex/admin.ida as a form of PROOT_<root>=<path> fields, with
// an empty INDEX_<root> field after each root to be indexed. Every failure is told by message
// box and ends the action; nothing done before it is undone.

#include "FileAreaStore.h"
#include "Prompt.h"

#include <functional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

class CIISManagerBase;
class CIISMetabaseManager;

// The metabase branch's fixed scope and the registry branch's fixed root.
inline constexpr char INDEX_SCOPE_ROOT[] = "/DorvaleIndex";
inline constexpr char INDEX_DETAILS_ROOT[] = "/dorvaledetails";
// The index server's administration pages.
inline constexpr char INDEX_LIST_PAGE[] = "/dorvaleindex/listvirtualroots.idq";
inline constexpr char INDEX_ADMIN_PAGE[] = "/dorvaleindex/admin.ida";
// The site's search page, named after the query file whose scope it searches.
inline constexpr char INDEX_SEARCH_PAGE[] = "/dorvaleindex/QueryHit.idq";
// The index server's service key, whose value Listen ("address:port") tells nginx where to
// pass the pages above.
inline constexpr char INDEX_SERVICE_NAME[] = "DorvaleIndex";
inline constexpr char INDEX_TOKEN[] = "%CiScope%";

// Where the exchange works and how it waits; tests put the files in a directory of their own
// and count the waits instead of sleeping through them.
struct CIndexServerOptions {
    std::string logDirectory;  // add.log and post.log; empty: the current directory
    std::string tempDirectory; // virtualroots.txt and result.txt; empty: the process's own
    std::function<void(int milliseconds)> wait; // empty: sleeps
};

// The button: the metabase or the registry branch, after the web server manager's kind.
void UpdateIndexServer(CIISManagerBase& web, const std::vector<AreaRecord>& areas,
                       prompt::IPrompt& prompt, const CIndexServerOptions& options = {});

// The metabase branch. `installDir` holds templates/QueryHit.tmpl and Web/QueryHit.idq.
void UpdateMetabaseIndex(CIISMetabaseManager& web, const std::vector<AreaRecord>& areas,
                         const std::string& installDir, prompt::IPrompt& prompt);

// The registry branch: the roots to index, then the update exchange with the web server at
// `httpServer` (the HttpServer setting).
void UpdateRegistryIndex(CIISManagerBase& web, const std::vector<AreaRecord>& areas,
                         const std::string& httpServer, prompt::IPrompt& prompt,
                         const CIndexServerOptions& options);

// ---- the pieces, exposed for tests ----

using CIndexRoot = std::pair<std::string, std::string>; // (virtual root, physical path)

// A form value: ASCII letters and digits stay, a space is "+", every other byte "%XX".
std::string EncodeFormText(const std::string& text);
// The update form: every reported root with its path, followed by an empty INDEX_ field when
// it is to be indexed; then every root to be indexed that was not reported.
std::string BuildIndexForm(const std::vector<CIndexRoot>& reported,
                           const std::vector<CIndexRoot>& toIndex);
// The roots of a root-list answer, in lower case, in the order given: a "vroot=" line names
// the current root, each "path=" line after it adds a pair. Lines longer than 519 bytes are
// read in pieces of 519.
std::vector<CIndexRoot> ReadIndexRoots(const std::string& file);
// The same over the answer's text.
std::vector<CIndexRoot> ParseIndexRoots(std::string_view text);
// The host (and port, when given) of the HttpServer setting: lower case, without
// "http://" or "https://" and without anything from the first "/" on.
std::string IndexServerHost(const std::string& httpServer);
// The query file's text: the template with its first %CiScope% replaced by `scope`. False
// when the token is missing.
bool MakeQueryFile(const std::string& templateText, const std::string& scope, std::string& text);
