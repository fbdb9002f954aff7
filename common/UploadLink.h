#pragma once
// The link on the site's upload page that opens the upload wizard on the visitor's machine:
//
//     dorvale-upload:?FTP%20Address=ftp.example.org&File%20Areas=Files%0Dincoming%0D
//
// Its query holds the upload control's parameters, named as a page names them for an embedded
// control ("FTP Address", "User Name", "File Areas"), each name and value percent-encoded as
// UTF-8. A password never travels in a link.

#include <string>
#include <string_view>
#include <utility>
#include <vector>

inline constexpr std::string_view UPLOAD_LINK_SCHEME = "dorvale-upload";

using CUploadLinkParameters = std::vector<std::pair<std::string, std::string>>;

// Every byte but letters, digits and "-._~" written %XX.
std::string PercentEncode(std::string_view text);

// The link for a site: its FTP address, its uploadable areas in the control's area text form
// (name CR path CR ...) and, when not empty, the account to log in with.
std::string BuildUploadLink(std::string_view ftpAddress, std::string_view areas,
                            std::string_view username = {});

// The parameters of a link, in order, decoded. The scheme is compared without regard to case
// and may be followed by "//" (as some programs hand a link on); nothing else may come before
// the query. False with `error` saying what is wrong: another scheme, text before the query,
// a '%' not followed by two hexadecimal digits, a parameter without '=', a NUL (encoded or
// not).
bool ParseUploadLink(std::string_view link, CUploadLinkParameters& parameters,
                     std::string& error);
