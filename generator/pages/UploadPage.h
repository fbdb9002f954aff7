#pragma once
// "upload.tmpl", the page that offers uploads, written only when the template is installed.
//
// Variables: `allowuploads` (the AllowUploads setting, 0 to 3); `controluploads` ("1" when it
// allows uploads with the desktop wizard, 2 or 3, else empty) and `httpuploads` ("1" for 1 or
// 3), for @if@; `ftpserver`; `uploadlink`, the dorvale-upload: link that opens the wizard with
// the site's FTP server and the areas that can take uploads over FTP; `uploadareas` and
// `ftpareas`, how many areas accept uploads and how many of them the link offers. Per row, for
// each area that accepts uploads: `areaid`, `area`, `ftpalias` (empty when the area has none).

#include "Pages.h"

#include <string>
#include <string_view>
#include <vector>

struct CUploadPageArea {
    long long id = 0;
    std::string name;
    std::string ftpAlias;
};

// The area's FTP alias as a directory below the FTP login directory, where the wizard sends
// files: the alias names a virtual directory of the FTP site's root, so its leading '/' go.
std::string UploadDirectoryOfAlias(std::string_view ftpAlias);

class CUploadPage : public CSourcePage {
public:
    CUploadPage();
    void SetUploads(long long allowUploads, std::string_view ftpServer,
                    std::vector<CUploadPageArea> areas);

    void LoopStart() override { m_index = 0; }
    bool LoopNext() override;

private:
    std::vector<CUploadPageArea> m_areas;
    std::size_t m_index = 0;
    int m_slotAreaId, m_slotArea, m_slotFtpAlias;
};
