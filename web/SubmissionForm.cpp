#include "SubmissionForm.h"

#include "VisitorService.h"

#include <cstdio>

namespace {

constexpr std::size_t MAX_TITLE = 30;
constexpr std::size_t MAX_VERSION = 15;
constexpr std::size_t MAX_SHORT_DESC = 60;
constexpr std::size_t MAX_COMPANY = 254;
constexpr std::size_t MAX_SITE_NAME = 60;
constexpr std::size_t MAX_URL = 254;
constexpr std::size_t MAX_DESCRIPTION = 32768;

std::string Field(const CFormFields& fields, const std::string& name) {
    const auto found = fields.find(name);
    return found == fields.end() ? std::string() : found->second;
}

bool OneLine(std::string& value, const char* label, std::size_t max, bool required,
             std::vector<std::string>& problems) {
    value = Trim(value);
    switch (CheckOneLine(value, max)) {
    case ETextCheck::Good:
        break;
    case ETextCheck::NotUtf8:
        problems.push_back(std::string("The field \"") + label + "\" is not valid UTF-8 text.");
        return false;
    case ETextCheck::ControlCharacter:
        problems.push_back(std::string("The field \"") + label +
                           "\" holds a control character or a line break.");
        return false;
    case ETextCheck::TooLong:
        problems.push_back(std::string("The field \"") + label + "\" is too long (at most " +
                           std::to_string(max) + " bytes).");
        return false;
    }
    if (required && value.empty()) {
        problems.push_back(std::string("The field \"") + label + "\" is required.");
        return false;
    }
    return true;
}

// http, https or ftp, a host, and no space.
bool IsSiteAddress(const std::string& url) {
    for (const char* scheme : {"http://", "https://", "ftp://"}) {
        const std::string prefix(scheme);
        if (url.size() > prefix.size() && url.compare(0, prefix.size(), prefix) == 0) {
            const char first = url[prefix.size()];
            return first != '/' && first != '.' && url.find(' ') == std::string::npos;
        }
    }
    return false;
}

// "yyyy-mm-dd" as a date input sends it.
bool ParseDate(const std::string& text, CFileSubmission& submission) {
    if (text.size() != 10 || text[4] != '-' || text[7] != '-') {
        return false;
    }
    for (const int i : {0, 1, 2, 3, 5, 6, 8, 9}) {
        if (text[static_cast<std::size_t>(i)] < '0' || text[static_cast<std::size_t>(i)] > '9') {
            return false;
        }
    }
    const int year = std::stoi(text.substr(0, 4));
    const int month = std::stoi(text.substr(5, 2));
    const int day = std::stoi(text.substr(8, 2));
    if (month < 1 || month > 12 || day < 1 || day > 31) {
        return false;
    }
    submission.year = year;
    submission.month = month;
    submission.day = day;
    return true;
}

void Input(std::string& html, const char* name, const char* label, const char* type,
           std::size_t max, bool required, const char* hint = nullptr) {
    html += "<div class=\"field\"><label for=\"";
    html += name;
    html += "\">";
    html += label;
    if (required) {
        html += " <span class=\"required\">(required)</span>";
    }
    html += "</label><input id=\"";
    html += name;
    html += "\" name=\"";
    html += name;
    html += "\" type=\"";
    html += type;
    html += "\"";
    if (max > 0) {
        html += " maxlength=\"" + std::to_string(max) + "\"";
    }
    if (required) {
        html += " required";
    }
    html += ">";
    if (hint) {
        html += "<small class=\"muted\">";
        html += hint;
        html += "</small>";
    }
    html += "</div>\n";
}

bool IsOneLineValue(std::string_view value) {
    return value.find_first_of("\r\n") == std::string_view::npos;
}

} // namespace

bool IsSubmissionYear(int year) {
    return year >= 1950 && year <= 2049;
}

bool FormatFileSubmission(const CFileSubmission& submission, std::string& text) {
    if (submission.siteUrls.empty()) {
        return false;
    }
    std::string out;
    auto pair = [&out](std::string_view key, std::string_view value) {
        if (!IsOneLineValue(value)) {
            return false;
        }
        out += key;
        out += '=';
        out += value;
        out += "\r\n";
        return true;
    };
    char date[16] = {};
    if (submission.year != 0) {
        if (!IsSubmissionYear(submission.year) || submission.month < 1 || submission.month > 12 ||
            submission.day < 1 || submission.day > 31) {
            return false;
        }
        std::snprintf(date, sizeof date, "%02d/%02d/%02d", submission.month, submission.day,
                      submission.year % 100);
    }
    bool ok = pair("Title", submission.title) && pair("Date", date) &&
              pair("Version", submission.version) &&
              pair("ReqForm", submission.reqForm ? "Yes" : "No") &&
              pair("Company", submission.company) && pair("Email", submission.email) &&
              pair("Size", std::to_string(submission.size)) &&
              pair("ShortDescription", submission.shortDescription);
    for (std::size_t i = 0; ok && i < submission.siteUrls.size(); ++i) {
        const std::string n = std::to_string(i + 1);
        const std::string name = i < submission.siteNames.size() ? submission.siteNames[i] : "";
        // An empty address would end the list there for the reader.
        ok = !submission.siteUrls[i].empty() && pair("SiteName" + n, name) &&
             pair("SiteUrl" + n, submission.siteUrls[i]);
    }
    if (!ok) {
        return false;
    }
    out += "\r\n";
    out += submission.detailedDescription;
    text = std::move(out);
    return true;
}

std::string RenderSubmissionForm() {
    std::string html =
        "<p class=\"lead\">Know a file that belongs in this library? Describe it here and the "
        "administrator will add it.</p>\n"
        "<form class=\"site-form\" method=\"post\" action=\"/dorvale/do/submit\" "
        "accept-charset=\"utf-8\">\n<fieldset><legend>The file</legend>\n";
    Input(html, "title", "Title", "text", MAX_TITLE, true);
    Input(html, "version", "Version", "text", MAX_VERSION, false);
    Input(html, "date", "Date of the file", "date", 0, false, "Between 1950 and 2049.");
    Input(html, "size", "Size in bytes", "number", 20, false);
    Input(html, "shortdesc", "Brief description", "text", MAX_SHORT_DESC, false);
    html += "<div class=\"field\"><label for=\"description\">Detailed description</label>"
            "<textarea id=\"description\" name=\"description\" rows=\"6\" maxlength=\"" +
            std::to_string(MAX_DESCRIPTION) + "\"></textarea></div>\n";
    html += "<div class=\"field check\"><input id=\"reqform\" name=\"reqform\" type=\"checkbox\" "
            "value=\"yes\"><label for=\"reqform\">Users must fill in a form before "
            "downloading</label></div>\n</fieldset>\n<fieldset><legend>Where to get it</legend>\n";
    for (int n = 1; n <= SUBMISSION_SITES; ++n) {
        const std::string site = std::to_string(n);
        const std::string nameField = "sitename" + site;
        const std::string urlField = "siteurl" + site;
        const std::string nameLabel = "Site " + site + " name";
        const std::string urlLabel = "Site " + site + " address";
        Input(html, nameField.c_str(), nameLabel.c_str(), "text", MAX_SITE_NAME, false);
        Input(html, urlField.c_str(), urlLabel.c_str(), "url", MAX_URL, n == 1,
              n == 1 ? "Starting with http://, https:// or ftp://." : nullptr);
    }
    html += "</fieldset>\n<fieldset><legend>About you</legend>\n";
    Input(html, "company", "Author's name", "text", MAX_COMPANY, false);
    Input(html, "email", "Email address", "email", MAX_COMPANY, true);
    html += "</fieldset>\n<p><button class=\"button\" type=\"submit\">Send the submission"
            "</button></p>\n</form>\n";
    return html;
}

bool ReadSubmissionForm(const CFormFields& fields, CFileSubmission& submission,
                        std::vector<std::string>& problems) {
    submission = CFileSubmission();
    submission.title = Field(fields, "title");
    OneLine(submission.title, "Title", MAX_TITLE, true, problems);
    submission.version = Field(fields, "version");
    OneLine(submission.version, "Version", MAX_VERSION, false, problems);
    std::string date = Field(fields, "date");
    if (OneLine(date, "Date of the file", 10, false, problems) && !date.empty()) {
        if (!ParseDate(date, submission)) {
            problems.push_back("The date of the file is not a date (yyyy-mm-dd).");
        } else if (!IsSubmissionYear(submission.year)) {
            problems.push_back("The date of the file must lie between 1950 and 2049.");
        }
    }
    std::string size = Field(fields, "size");
    if (OneLine(size, "Size in bytes", 19, false, problems) && !size.empty()) {
        if (size.find_first_not_of("0123456789") != std::string::npos) {
            problems.push_back("The size is a number of bytes, in digits only.");
        } else {
            submission.size = std::stoull(size);
        }
    }
    submission.shortDescription = Field(fields, "shortdesc");
    OneLine(submission.shortDescription, "Brief description", MAX_SHORT_DESC, false, problems);
    submission.reqForm = !Field(fields, "reqform").empty();
    submission.company = Field(fields, "company");
    OneLine(submission.company, "Author's name", MAX_COMPANY, false, problems);
    submission.email = Field(fields, "email");
    if (OneLine(submission.email, "Email address", MAX_COMPANY, true, problems)) {
        if (const char* problem = EmailProblem(submission.email)) {
            problems.push_back(problem);
        }
    }
    for (int n = 1; n <= SUBMISSION_SITES; ++n) {
        const std::string site = std::to_string(n);
        std::string name = Field(fields, "sitename" + site);
        std::string url = Field(fields, "siteurl" + site);
        const bool nameOk = OneLine(name, ("Site " + site + " name").c_str(), MAX_SITE_NAME, false,
                                    problems);
        if (!OneLine(url, ("Site " + site + " address").c_str(), MAX_URL, n == 1, problems) ||
            !nameOk || url.empty()) {
            continue;
        }
        if (!IsSiteAddress(url)) {
            problems.push_back("Site " + site +
                               " address is not a web address (http://, https:// or ftp://).");
            continue;
        }
        // The reader stops at the first missing address, so the ones given are numbered
        // without gaps; an unnamed site is named by its address's host.
        if (name.empty()) {
            const std::size_t host = url.find("://") + 3;
            name = url.substr(host, url.find('/', host) - host);
        }
        submission.siteNames.push_back(name);
        submission.siteUrls.push_back(url);
    }
    std::string description = Field(fields, "description");
    switch (CheckMultiLine(description, MAX_DESCRIPTION)) {
    case ETextCheck::Good:
        submission.detailedDescription.clear();
        for (const char c : description) {
            if (c == '\n') {
                submission.detailedDescription += '\r';
            }
            submission.detailedDescription += c;
        }
        break;
    case ETextCheck::TooLong:
        problems.push_back("The detailed description is too long (at most " +
                           std::to_string(MAX_DESCRIPTION) + " bytes).");
        break;
    default:
        problems.push_back("The detailed description holds characters that are not text.");
        break;
    }
    return problems.empty();
}
