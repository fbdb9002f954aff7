#include "RunTestSupport.h"

#include <algorithm>

namespace runtest {

std::map<std::string, std::string> ShowingTemplates() {
    return {
        {"grouplist.tmpl", "index:@loop@[@group@|@urlgroup@]@endloop@\n"},
        {"arealist.tmpl", "areas of @group@ (@urlgroup@):@loop@[@areaid@ @area@]@endloop@\n"},
        {"areaheader.tmpl", "header @group@ @currentarea@:@loop@[@areaid@ @area@]@endloop@\n"},
        {"filepage.tmpl", "@group@/@areaid@ @sort@ page @page@ of @totalrecords@: "
                          "@displayrange@|@titlesort@|@navbar@\n"},
        {"filedetail.tmpl", "detail @fileid@ @title@ @filesize@ @downloads@ @filedate@ "
                            "@version@ @reqform@ @httpserver@\n"},
        {"filedownload.tmpl", "download @fileid@ @title@:@loop@[@url@ @sitename@ @httpurl@ "
                              "@ftpurl@]@endloop@\n"},
        {"filelist.tmpl", "@loop@@fileid@ @title@ @downloads@ @filedate@;@endloop@\n"},
    };
}

void WriteTemplates(const std::filesystem::path& installDir,
                    const std::map<std::string, std::string>& changes,
                    const std::vector<std::string>& missing) {
    std::filesystem::create_directories(installDir / "templates");
    for (auto [name, text] : ShowingTemplates()) {
        if (std::find(missing.begin(), missing.end(), name) != missing.end()) {
            continue;
        }
        const auto changed = changes.find(name);
        testsupport::WriteFile(installDir / "templates" / name,
                               changed == changes.end() ? text : changed->second);
    }
}

std::map<std::string, std::string> ReadTree(const std::filesystem::path& root) {
    std::map<std::string, std::string> tree;
    if (!std::filesystem::is_directory(root)) {
        return tree;
    }
    for (const auto& entry : std::filesystem::recursive_directory_iterator(root)) {
        if (entry.is_regular_file()) {
            tree[entry.path().lexically_relative(root).generic_string()] =
                testsupport::ReadFile(entry.path());
        }
    }
    return tree;
}

std::vector<std::string> TreePaths(const std::map<std::string, std::string>& tree) {
    std::vector<std::string> paths;
    for (const auto& [path, content] : tree) {
        paths.push_back(path);
    }
    return paths;
}

} // namespace runtest
