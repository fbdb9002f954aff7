#pragma once
// The "Submit a file" form: its page, the fields it sends taken into a file submission, the
// submission written as the text the add-file wizard reads from the clipboard (ParseSubmission
// of the administration core), and the mail that carries it to the administrator:
//
//   Title=...  Date=mm/dd/yy  Version=...  ReqForm=Yes|No  Company=<author>  Email=...
//   Size=<bytes>  ShortDescription=...  SiteName1=...  SiteUrl1=...  SiteName2=... ...
//   <empty line>
//   <the detailed description>

#include "FormData.h"

#include <cstdint>
#include <string>
#include <vector>

struct CFileSubmission {
    std::string title;
    int year = 0; // the file's date; 0 when none was given
    int month = 0;
    int day = 0;
    std::string version;
    bool reqForm = false;
    std::string company; // the author's name
    std::string email;
    std::uint64_t size = 0;
    std::string shortDescription;
    std::vector<std::string> siteNames;
    std::vector<std::string> siteUrls; // at least one; none empty
    std::string detailedDescription;
};

// The years a two-digit "Date" reads back as: below 50 is 20yy, otherwise 19yy.
bool IsSubmissionYear(int year);

// The submission's text, one "Key=value" line each, the empty line, the description. False
// (nothing produced) when a value holds a line break, the year cannot be written with two
// digits, or there is no site: the reader would not see the same submission.
bool FormatFileSubmission(const CFileSubmission& submission, std::string& text);

// The site addresses a visitor may give.
inline constexpr int SUBMISSION_SITES = 3;

// The form (HTML, for the main part of a page).
std::string RenderSubmissionForm();

// Takes the form's fields into `submission`; false with what is wrong in `problems`.
bool ReadSubmissionForm(const CFormFields& fields, CFileSubmission& submission,
                        std::vector<std::string>& problems);

// Mails the formatted text to `adminEmail` through the mail component "QTRWeb.SendMail",
// from and to that address, under a fixed subject: nothing the visitor wrote reaches a header.
bool SendSubmissionMail(const std::string& adminEmail, const std::string& text, std::string& error);

inline constexpr char SUBMISSION_SUBJECT[] = "Dorvale file submission";
