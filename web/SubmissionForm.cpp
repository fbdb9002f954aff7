#include "SubmissionForm.h"

#include "AddFile.h"
#include "DescriptionFile.h"
#include "SitePage.h"
#include "VisitorService.h"

#include <cstdio>

namespace {

constexpr std::size_t MAX_SITE_NAME = 60;

bool OneLine(std::string& value, const char* label, std::size_t max, bool required,
             std::vector<std::string>& problems) {
    return CheckFormField(value, label, max, EFieldKind::OneLine, required, problems);
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
    AppendFormInput(html, "title", "Title", "text", DESC_MAX_TITLE, true);
    AppendFormInput(html, "version", "Version", "text", DESC_MAX_VERSION, false);
    AppendFormInput(html, "date", "Date of the file", "date", 0, false, "Between 1950 and 2049.");
    AppendFormInput(html, "size", "Size in bytes", "number", 20, false);
    AppendFormInput(html, "shortdesc", "Brief description", "text", DESC_MAX_SHORTDESC, false);
    AppendFormTextArea(html, "description", "Detailed description", 6, MAX_LONG_TEXT);
    AppendFormCheckbox(html, "reqform", "Users must fill in a form before downloading");
    html += "</fieldset>\n<fieldset><legend>Where to get it</legend>\n";
    for (int n = 1; n <= SUBMISSION_SITES; ++n) {
        const std::string site = std::to_string(n);
        AppendFormInput(html, "sitename" + site, "Site " + site + " name", "text", MAX_SITE_NAME,
                        false);
        AppendFormInput(html, "siteurl" + site, "Site " + site + " address", "url", MAX_LOCATION,
                        n == 1, n == 1 ? "Starting with http://, https:// or ftp://." : "");
    }
    html += "</fieldset>\n<fieldset><legend>About you</legend>\n";
    AppendFormInput(html, "company", "Author's name", "text", DESC_MAX_COMPANY, false);
    AppendFormInput(html, "email", "Email address", "email", MAX_EMAIL, true);
    html += "</fieldset>\n<p><button class=\"button\" type=\"submit\">Send the submission"
            "</button></p>\n</form>\n";
    return html;
}

bool ReadSubmissionForm(const CFormFields& fields, CFileSubmission& submission,
                        std::vector<std::string>& problems) {
    submission = CFileSubmission();
    submission.title = FieldValue(fields, "title");
    OneLine(submission.title, "Title", DESC_MAX_TITLE, true, problems);
    submission.version = FieldValue(fields, "version");
    OneLine(submission.version, "Version", DESC_MAX_VERSION, false, problems);
    std::string date = FieldValue(fields, "date");
    if (OneLine(date, "Date of the file", 10, false, problems) && !date.empty()) {
        if (!ParseDate(date, submission)) {
            problems.push_back("The date of the file is not a date (yyyy-mm-dd).");
        } else if (!IsSubmissionYear(submission.year)) {
            problems.push_back("The date of the file must lie between 1950 and 2049.");
        }
    }
    std::string size = FieldValue(fields, "size");
    if (OneLine(size, "Size in bytes", 19, false, problems) && !size.empty()) {
        if (size.find_first_not_of("0123456789") != std::string::npos) {
            problems.push_back("The size is a number of bytes, in digits only.");
        } else {
            submission.size = std::stoull(size);
        }
    }
    submission.shortDescription = FieldValue(fields, "shortdesc");
    OneLine(submission.shortDescription, "Brief description", DESC_MAX_SHORTDESC, false, problems);
    submission.reqForm = !FieldValue(fields, "reqform").empty();
    submission.company = FieldValue(fields, "company");
    OneLine(submission.company, "Author's name", DESC_MAX_COMPANY, false, problems);
    submission.email = FieldValue(fields, "email");
    CheckEmailField(submission.email, "Email address", true, problems);
    for (int n = 1; n <= SUBMISSION_SITES; ++n) {
        const std::string site = std::to_string(n);
        std::string name = FieldValue(fields, "sitename" + site);
        std::string url = FieldValue(fields, "siteurl" + site);
        const bool nameOk =
            OneLine(name, ("Site " + site + " name").c_str(), MAX_SITE_NAME, false, problems);
        if (!OneLine(url, ("Site " + site + " address").c_str(), MAX_LOCATION, n == 1, problems) ||
            !nameOk || url.empty()) {
            continue;
        }
        // What the add-file wizard takes as a download address.
        if (!IsValidDownloadUrl(url)) {
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
    std::string description = FieldValue(fields, "description");
    if (CheckFormField(description, "Detailed description", MAX_LONG_TEXT, EFieldKind::MultiLine,
                       false, problems)) {
        submission.detailedDescription = WithCrLf(description);
    }
    return problems.empty();
}
