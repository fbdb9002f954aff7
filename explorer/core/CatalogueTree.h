#pragma once
// The catalogue as a tree: a root, the file groups (one per group file, in the order the
// directory lists them), the areas of each group (in the group file's order; ids that name no
// area are skipped, an area in no group is not shown), and the "Search results" node as the
// root's first child. Every node is registered under a key; a front end keeps that key as the
// item data of its own tree entry and finds the node again by it.

#include "FileAreaStore.h"

#include <cstdint>
#include <map>
#include <memory>
#include <shared_mutex>
#include <string>
#include <vector>

// NOLINTBEGIN(readability-identifier-naming): the node kinds keep the design's name and values.
enum TreeItemKind : std::int32_t {
    TREEITEM_TOP = 0,
    TREEITEM_ROOT = 2,
    TREEITEM_GROUP = 3,
    TREEITEM_AREA = 4,
    TREEITEM_SEARCH = 6,
};
// NOLINTEND(readability-identifier-naming)

inline constexpr char TREE_ROOT_NAME[] = "Dorvale";
inline constexpr char SEARCH_RESULTS_NAME[] = "Search results";
// The search node's name after a search ("%s": the text searched for).
std::string SearchResultsName(const std::string& text);

class CTreeItem {
public:
    CTreeItem(std::string name, TreeItemKind kind) : m_name(std::move(name)), m_kind(kind) {}
    virtual ~CTreeItem() = default;
    CTreeItem(const CTreeItem&) = delete;
    CTreeItem& operator=(const CTreeItem&) = delete;

    const std::string& GetName() const { return m_name; }
    void SetName(std::string name) { m_name = std::move(name); }
    TreeItemKind GetKind() const { return m_kind; }
    std::uint32_t GetKey() const { return m_key; }
    CTreeItem* GetParent() const { return m_parent; }
    const std::vector<std::unique_ptr<CTreeItem>>& GetChildren() const { return m_children; }
    // The node's position among its parent's children (0 for the top).
    std::size_t GetRow() const;

private:
    friend class CItemRegistry;
    std::string m_name;
    TreeItemKind m_kind;
    std::uint32_t m_key = 0;
    CTreeItem* m_parent = nullptr;
    std::vector<std::unique_ptr<CTreeItem>> m_children;
};

// A node shown in the tree: the area's id for an area (0 otherwise) and its image.
class CFolderTreeItem : public CTreeItem {
public:
    CFolderTreeItem(std::string name, TreeItemKind kind, std::uint32_t identifier, int image)
        : CTreeItem(std::move(name), kind), m_identifier(identifier), m_image(image) {}
    std::uint32_t GetIdentifier() const { return m_identifier; }
    // Closed folder 0 (its selected image is 1), search results 2.
    int GetImage() const { return m_image; }

private:
    std::uint32_t m_identifier;
    int m_image;
};

// Owns the nodes: an invisible top node under which the root lies, and a map from key to node.
// Keys are handed out from 1 upwards. Look-ups may come from any thread; changes are
// serialised against them.
class CItemRegistry {
public:
    CItemRegistry();
    CTreeItem& Top() { return *m_top; }
    // Appends `item` to `parent`'s children and registers it; returns it.
    CTreeItem* Register(CTreeItem* parent, std::unique_ptr<CTreeItem> item);
    // Unregisters a node and its descendants, and removes it from its parent.
    void Remove(CTreeItem* item);
    CTreeItem* Find(std::uint32_t key) const;
    void Clear();

private:
    void Unregister(CTreeItem* item);

    mutable std::shared_mutex m_lock;
    std::unique_ptr<CTreeItem> m_top;
    std::map<std::uint32_t, CTreeItem*> m_items;
    std::uint32_t m_nextKey = 1;
};

class CCatalogueTree {
public:
    // (Re)builds the tree from the group files of `databasePath` and the areas.
    void Load(const std::string& databasePath, const std::vector<AreaRecord>& areas);

    CItemRegistry& Registry() { return m_registry; }
    CTreeItem* Root() const { return m_root; }
    CTreeItem* SearchResults() const { return m_search; }
    CTreeItem* Find(std::uint32_t key) const { return m_registry.Find(key); }

    // Names the search node after a search.
    void SetSearchText(const std::string& text);

private:
    CItemRegistry m_registry;
    CTreeItem* m_root = nullptr;
    CTreeItem* m_search = nullptr;
};

// One entry of the list while the root or a group is selected: a child node.
struct CNodeRow {
    std::string name;
    std::string type; // "File Group" under the root, "File Area" under a group
    CTreeItem* node = nullptr;
};
std::vector<CNodeRow> ListChildren(const CTreeItem& node);

// The node the Up command goes to (none for the root).
CTreeItem* UpFrom(const CTreeItem& node);

// The group file's areas for "File Group Properties": every area of the store, checked when
// its id is in the group file.
struct CGroupMember {
    AreaRecord area;
    bool checked = false;
};
std::vector<CGroupMember> GroupProperties(const std::string& databasePath, const std::string& group,
                                          const std::vector<AreaRecord>& areas);
