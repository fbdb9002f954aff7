// The upload page, from the optional eighth template "upload.tmpl". It is written last, after
// every page of the site's seven templates, and takes no step of the progress bar, so a run
// without the template (no page, no message) goes exactly as it always did. The body pages have
// already walked the area collection, so Catalink has answered for every area by now.

#include "GenerationRun.h"

#include "UploadPage.h"

#include <filesystem>

namespace {

constexpr const char* UPLOAD_TEMPLATE = "upload.tmpl";
constexpr const char* UPLOAD_PAGE = "upload.asp";

} // namespace

bool CGenerationRun::WriteUploadPage() {
    std::error_code error;
    if (!std::filesystem::is_regular_file(m_templateDir + UPLOAD_TEMPLATE, error)) {
        // A page left from a run that had the template would offer what is no longer offered.
        std::filesystem::remove(PagePath(UPLOAD_PAGE), error);
        return true;
    }
    CUploadPage page;
    if (!CompileTemplate(page, UPLOAD_TEMPLATE)) {
        return false;
    }
    PostLine(STATUS_LINE1, "Generating upload page");
    long long count = 0;
    if (!m_areas->GetCount(count)) {
        ReportCatalinkError();
        return false;
    }
    std::vector<CUploadPageArea> areas;
    for (long long index = 1; index <= count; ++index) {
        CPageArea area;
        CAreaAliases aliases;
        bool uploadable = false;
        if (!m_areas->GetItem(index, area) || !m_areas->GetUploadable(index, uploadable) ||
            (uploadable && !m_areas->GetAliases(index, aliases))) {
            ReportCatalinkError();
            return false;
        }
        if (uploadable) {
            areas.push_back({area.id, std::move(area.name), std::move(aliases.ftpAlias)});
        }
    }
    page.SetUploads(m_settings.allowUploads, m_settings.ftpServer, std::move(areas));
    WritePage(page, UPLOAD_PAGE);
    return true;
}
