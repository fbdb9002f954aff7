#include "IndexRoots.h"

#include "Com.h"
#include "Fd.h"
#include "IISMetabaseManager.h"
#include "IISRegistryManager.h"
#include "Metabase.h"
#include "Publishing.h"
#include "Settings.h"
#include "Text.h"

#include <fcntl.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

namespace fs = std::filesystem;

namespace {

constexpr DWORD READ_TIMEOUT_MS = 5000;
constexpr char ROOTS_FILE[] = "roots.txt";

// COM for the metabase, for as long as a read takes.
class CComScope {
public:
    CComScope() : m_ok(SUCCEEDED(CoInitialize(nullptr))) {}
    ~CComScope() {
        if (m_ok) {
            CoUninitialize();
        }
    }
    CComScope(const CComScope&) = delete;
    CComScope& operator=(const CComScope&) = delete;

private:
    bool m_ok;
};

// The site's web instance: the one WebServerName names, else the first.
unsigned SiteInstance(IMetabaseAdmin* admin) {
    std::string siteName;
    ReadRegistryText(HKEY_LOCAL_MACHINE, settings::SettingsKey, settings::WebServerName, siteName);
    const auto instances = metabase::ListInstances(admin, WEB_SERVICE_NAME, READ_TIMEOUT_MS);
    for (const metabase::CServerInstance& instance : instances) {
        if (instance.comment == siteName) {
            return instance.number;
        }
    }
    return instances.empty() ? 0 : instances.front().number;
}

const CIndexRootEntry* Find(const std::vector<CIndexRootEntry>& roots, const std::string& root) {
    for (const CIndexRootEntry& entry : roots) {
        if (entry.root == root) {
            return &entry;
        }
    }
    return nullptr;
}

} // namespace

std::vector<CIndexRootEntry> ListWebRoots() {
    std::vector<CVirtualRoot> roots;
    {
        CComScope com;
        CComPtr<IMetabaseAdmin> admin = metabase::CreateAdminBase();
        if (admin) {
            const unsigned site = SiteInstance(admin);
            if (site != 0) {
                roots = CIISMetabaseManager::ListInstanceRoots(admin, WEB_SERVICE_NAME, site,
                                                               READ_TIMEOUT_MS);
            }
        } else {
            roots = CIISRegistryManager::ListServiceRoots(WEB_SERVICE_NAME);
        }
    }
    std::vector<CIndexRootEntry> web;
    for (const CVirtualRoot& root : roots) {
        const std::string name = base::LowerAscii(root.alias);
        if ((root.permissions & VROOT_READ) != 0 && Find(web, name) == nullptr) {
            web.push_back({name, root.path, false});
        }
    }
    return web;
}

std::vector<std::string> ListMarkedRoots() {
    std::vector<std::string> marked;
    CComScope com;
    CComPtr<IMetabaseAdmin> admin = metabase::CreateAdminBase();
    if (!admin) {
        return marked;
    }
    const unsigned site = SiteInstance(admin);
    if (site == 0) {
        return marked;
    }
    const auto roots =
        CIISMetabaseManager::ListInstanceRoots(admin, WEB_SERVICE_NAME, site, READ_TIMEOUT_MS);
    metabase::CMetabaseKey key(admin);
    if (FAILED(key.Open(CIISMetabaseManager::RootKeyOf(WEB_SERVICE_NAME, site), false,
                        READ_TIMEOUT_MS))) {
        return marked;
    }
    for (const CVirtualRoot& root : roots) {
        DWORD indexed = 0;
        const std::size_t start = root.alias.find_first_not_of('/');
        const std::string below = start == std::string::npos ? "" : root.alias.substr(start);
        if (key.GetDword(below, MD_IS_CONTENT_INDEXED, indexed) && indexed != 0) {
            marked.push_back(base::LowerAscii(root.alias));
        }
    }
    return marked;
}

std::string DecodeFormText(const std::string& text) {
    std::string decoded;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const int high = i + 2 < text.size() ? base::HexDigitValue(text[i + 1]) : -1;
        const int low = i + 2 < text.size() ? base::HexDigitValue(text[i + 2]) : -1;
        if (text[i] == '+') {
            decoded += ' ';
        } else if (text[i] == '%' && high >= 0 && low >= 0) {
            decoded += static_cast<char>(high * 16 + low);
            i += 2;
        } else {
            decoded += text[i];
        }
    }
    return decoded;
}

std::vector<CIndexRootEntry> ParseUpdateForm(const std::string& body) {
    std::vector<CIndexRootEntry> roots;
    std::vector<std::string> indexed;
    std::size_t start = 0;
    while (start <= body.size()) {
        std::size_t end = body.find('&', start);
        if (end == std::string::npos) {
            end = body.size();
        }
        const std::string field = body.substr(start, end - start);
        start = end + 1;
        const std::size_t equals = field.find('=');
        const std::string name = DecodeFormText(field.substr(0, equals));
        const std::string value =
            equals == std::string::npos ? std::string() : DecodeFormText(field.substr(equals + 1));
        if (name.rfind("PROOT_", 0) == 0 && name.size() > 6) {
            const std::string root = base::LowerAscii(name.substr(6));
            if (Find(roots, root) == nullptr) {
                roots.push_back({root, value, false});
            }
        } else if (name.rfind("INDEX_", 0) == 0 && name.size() > 6) {
            indexed.push_back(base::LowerAscii(name.substr(6)));
        }
    }
    for (CIndexRootEntry& entry : roots) {
        for (const std::string& name : indexed) {
            entry.indexed = entry.indexed || name == entry.root;
        }
    }
    return roots;
}

bool LoadStoredRoots(const std::string& indexDir, std::vector<CIndexRootEntry>& roots) {
    roots.clear();
    std::ifstream in(fs::path(indexDir) / ROOTS_FILE, std::ios::binary);
    std::string line;
    while (std::getline(in, line)) {
        const std::size_t first = line.find('\t');
        const std::size_t second = first == std::string::npos ? first : line.find('\t', first + 1);
        if (second == std::string::npos) {
            continue;
        }
        roots.push_back({line.substr(0, first), line.substr(first + 1, second - first - 1),
                         line.substr(second + 1) == "1"});
    }
    return in.eof() || !in.is_open();
}

bool SaveStoredRoots(const std::string& indexDir, const std::vector<CIndexRootEntry>& roots,
                     std::string& error) {
    std::string text;
    for (const CIndexRootEntry& entry : roots) {
        // A tab or a line break inside a name would split the line: such a root is no root a
        // web server publishes, and is not kept.
        if (entry.root.find_first_of("\t\r\n") != std::string::npos ||
            entry.path.find_first_of("\t\r\n") != std::string::npos) {
            continue;
        }
        text += entry.root + "\t" + entry.path + "\t" + (entry.indexed ? "1" : "0") + "\n";
    }
    const fs::path file = fs::path(indexDir) / ROOTS_FILE;
    const fs::path written = fs::path(file).concat(".new");
    base::CFd fd(open(written.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644));
    std::error_code ec;
    if (!fd.IsOpen() || !base::WriteAll(fd.Get(), text) || fsync(fd.Get()) != 0 || !fd.Close() ||
        (fs::rename(written, file, ec), ec)) {
        error = "cannot write " + file.string();
        fs::remove(written, ec);
        return false;
    }
    return true;
}

std::string RootListText(const std::vector<CIndexRootEntry>& web,
                         const std::vector<CIndexRootEntry>& stored) {
    std::string text;
    auto add = [&text](const CIndexRootEntry& entry) {
        text += "vroot=" + entry.root + "\npath=" + entry.path + "\n";
    };
    for (const CIndexRootEntry& entry : web) {
        add(entry);
    }
    for (const CIndexRootEntry& entry : stored) {
        if (Find(web, entry.root) == nullptr) {
            add(entry);
        }
    }
    return text;
}

std::vector<CIndexRootEntry> RootsToIndex(const std::vector<CIndexRootEntry>& web,
                                          const std::vector<CIndexRootEntry>& stored,
                                          const std::vector<std::string>& marked,
                                          std::vector<std::string>& skipped) {
    std::vector<std::string> wanted = marked;
    for (const CIndexRootEntry& entry : stored) {
        if (entry.indexed) {
            wanted.push_back(entry.root);
        }
    }
    std::vector<CIndexRootEntry> roots;
    for (const std::string& name : wanted) {
        if (Find(roots, name) != nullptr) {
            continue;
        }
        const CIndexRootEntry* served = Find(web, name);
        std::string resolved;
        std::string why;
        if (served == nullptr) {
            skipped.push_back(name + ": the web server publishes no such virtual root");
        } else if (!services::CheckPublishable(served->path, resolved, why)) {
            skipped.push_back(name + ": " + served->path + " " + why);
        } else {
            roots.push_back({name, served->path, true});
        }
    }
    return roots;
}
