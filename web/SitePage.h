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

// One labelled input of a form (`maxLength` 0 for none), with a hint below it when given.
void AppendFormInput(std::string& html, std::string_view name, std::string_view label,
                     std::string_view type, std::size_t maxLength, bool required,
                     std::string_view hint = {});
// One labelled text area of a form.
void AppendFormTextArea(std::string& html, std::string_view name, std::string_view label, int rows,
                        std::size_t maxLength);
// One labelled check box of a form, its value "yes" when ticked.
void AppendFormCheckbox(std::string& html, std::string_view name, std::string_view label);

// Sets `response` to a page that says what went wrong, with the status that fits.
void RespondWithMessage(CWebResponse& response, int status, std::string_view title,
                        const std::vector<std::string>& messages, std::string_view backHref = {});

// The reason phrase of a status ("Not Found").
const char* StatusText(int status);
