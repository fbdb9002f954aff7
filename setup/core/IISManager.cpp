#include "IISManager.h"
#include "Text.h"

#include "SetupText.h"

namespace {

// Whether `parent` is `child` itself or a leading part of it that ends where a name of the
// child ends.
bool IsLeadingPart(const std::string& parent, const std::string& child) {
    if (parent.empty() || child.size() <= parent.size() ||
        child.compare(0, parent.size(), parent) != 0) {
        return false;
    }
    return parent.back() == '/' || child[parent.size()] == '/';
}

} // namespace

bool CIISManagerBase::FindParentRootIn(const std::vector<CVirtualRoot>& roots,
                                       const std::string& alias, std::string& rootName,
                                       std::string* rootPath) {
    const std::string wanted = base::LowerAscii(alias);
    const CVirtualRoot* best = nullptr;
    for (const CVirtualRoot& root : roots) {
        const std::string name = base::LowerAscii(root.alias);
        if (name == wanted) {
            best = &root;
            break;
        }
        if (IsLeadingPart(name, wanted) && (best == nullptr || name.size() > best->alias.size())) {
            best = &root;
        }
    }
    if (best == nullptr) {
        return false;
    }
    rootName = best->alias;
    if (rootPath != nullptr) {
        *rootPath = best->path;
    }
    return true;
}

bool CIISManagerBase::AliasForPathIn(const std::vector<CVirtualRoot>& roots,
                                     const std::string& path, std::string& alias) {
    std::size_t bestLength = 0;
    bool found = false;
    for (const CVirtualRoot& root : roots) {
        if (root.path.empty()) {
            continue;
        }
        if (root.path == path) {
            alias = root.alias;
            return true;
        }
        if (IsLeadingPart(root.path, path) && root.path.size() > bestLength) {
            bestLength = root.path.size();
            // The rest of the path after the root's directory and its separator.
            std::string rest = path.substr(root.path.size() + (root.path.back() == '/' ? 0 : 1));
            if (!rest.empty() && rest.back() == '/') {
                rest.pop_back();
            }
            alias = root.alias;
            if (alias.empty() || alias.back() != '/') {
                alias += '/';
            }
            alias += rest;
            found = true;
        }
    }
    return found;
}
