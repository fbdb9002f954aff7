#pragma once
// The service's own pages (forms, thanks, refusals), dressed like the generated site.

#include "WebRequest.h"

#include <string>
#include <string_view>
#include <vector>

// A whole page: the site's header and footer around `mainHtml`, with `title` (plain text) in
// the title bar and as the heading.
std::string RenderSitePage(std::string_view title, std::string_view kicker,
                           std::string_view mainHtml);

// Sets `response` to a page that says what went wrong, with the status that fits.
void RespondWithMessage(CWebResponse& response, int status, std::string_view title,
                        const std::vector<std::string>& messages,
                        std::string_view backHref = {});

// The reason phrase of a status ("Not Found").
const char* StatusText(int status);
