#pragma once
// The search page as the site shows it: the site's header and stylesheet, the search box with
// the words asked, and one entry per hit (name linked to where the web server serves it, its
// folder, size and date, the words around the match), with links to the other pages.

#include "IndexCatalogue.h"

#include <cstddef>
#include <string>

// The address part of a link: every byte but letters, digits, "/", "-", "_", "." and "~"
// percent-encoded.
std::string EncodeAddress(const std::string& address);

// `page` counts from 1; `problem` (when not empty) is shown instead of the hits.
std::string RenderSearchPage(const std::string& query, const CSearchResult& result,
                             std::size_t page, std::size_t perPage, const std::string& problem);
