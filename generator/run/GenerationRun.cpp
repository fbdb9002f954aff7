// A generation run writes the whole static site below the output root. What the code below
// rests on, written once here:
//
// Order. The steps run in a fixed order (Generate), and later steps read what earlier ones
// leave behind:
//   - the body pages come first among the lists: walking each area key's list fills
//     m_areaTotals (rows per key), from which the group pages and the newest and popular
//     pages take their page counts; walking the area collection also gathers the areas'
//     aliases for the download pages (an area in no group is known only from there);
//   - the body pages walk the keys AREA_KEY_POPULAR (-2), AREA_KEY_NEWEST (-1), then the file
//     areas by 1-based index; there is no key 0;
//   - the upload page (UploadPageRun.cpp) is written last and takes no progress step.
//
// Progress. The total is counted before anything is written, from the same collections the
// steps walk (ComputeProgressTotal, one STEPS_ constant per kind of step), so the bar reaches
// 100 at the end; a ProgressStep added or removed must change the count too.
//
// Writing. Pages are rendered on the run's thread, in order, and written by the page writer's
// threads (PageWriter.h), apart from the files' own pages, which those threads also render.
// After each step the run waits until every page handed over is written, so the next step, a
// stopped run and the log see the whole of it; a template that reads files while it renders
// (includedef) waits too, so it reads the pages of this run written before it.
//
// Stop and errors. The stop request is tested between pages, never inside one, so every page
// on disk is whole. A failed Catalink call or database read ends the run; a page that cannot
// be written is reported at the end of its step and the run goes on. Either sets the error
// flag.
//
// Texts. Status lines and log texts are spelled exactly as administrators and their scripts
// know them, line feeds included ("Generating most popular file pages...\n" on the status
// line, the empty line after "Could not load %s\n" in the log): they are not to be tidied.

#include "GenerationRun.h"

#include "GroupFiles.h"
#include "PageWriter.h"
#include "Pages.h"
#include "Text.h"

#include <array>
#include <cstdio>
#include <ctime>
#include <unistd.h>

namespace {

// Progress steps, counted by ComputeProgressTotal and taken by the steps that write pages.
constexpr long long STEPS_GROUP_INDEX = 1;
constexpr long long STEPS_PER_GROUP = 1;      // its area list page
constexpr long long STEPS_PER_GROUP_AREA = 2; // its header page, then its file pages
constexpr long long STEPS_PER_AREA = 1;       // its body pages
constexpr long long STEPS_TOP_LISTS = 4;      // body pages, then file pages, of newest and popular
constexpr long long STEPS_PER_FILE = 2;       // its detail page, then its download page
constexpr long long STEPS_DETAILS_END = 1;

// The newest and most popular lists in page paths: files/body/<list>/... for their body pages,
// files/~top/<list>/... for their file pages.
constexpr const char* NEWEST_LIST = "newest";
constexpr const char* POPULAR_LIST = "popular";
constexpr const char* TOP_LISTS_GROUP = "~top";

// Every Catalink call that fails ends the run with this report.
constexpr const char* CATALINK_ERROR = "Error reading file areas and groups from Catalink\n";
constexpr const char* DATABASE_ERROR = "Error processing database";
// Pages that could not be written are named in the log up to this many, then only counted.
constexpr long long NAMED_WRITE_FAILURES = CPageWriteFailures::NAMED;

std::string FormatNow(const char* format) {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    char buffer[128];
    const std::size_t length = std::strftime(buffer, sizeof buffer, format, &local);
    return std::string(buffer, length);
}

} // namespace

std::string FormatGenerationStamp() {
    return FormatNow("%x") + " at " + FormatNow("%X");
}

std::string LimitStatusText(std::string text) {
    text.resize(base::Utf8CutLength(text, STATUS_TEXT_BUFFER - 1));
    return text;
}

std::string TrimStatusText(const std::string& text) {
    std::size_t end = text.size();
    while (end > 0 && (text[end - 1] == '\n' || text[end - 1] == '\r')) {
        --end;
    }
    return text.substr(0, end);
}

// The seven page objects of a run.
class CGenerationRun::CPages {
public:
    CGroupListPage groupList;
    CAreaListPage areaList;
    CAreaHeaderPage areaHeader;
    CFilePage filePage;
    CFileDetailPage fileDetail;
    CFileDownloadPage fileDownload;
    CFileListPage fileList;

    struct CTemplateFile {
        const char* name;
        CTemplate* page;
    };
    // Each page's template file, in the order they are compiled (the first failure ends the
    // run, so the order decides which failure is reported).
    std::array<CTemplateFile, 7> TemplateFiles() {
        return {{{"grouplist.tmpl", &groupList},
                 {"arealist.tmpl", &areaList},
                 {"areaheader.tmpl", &areaHeader},
                 {"filepage.tmpl", &filePage},
                 {"filedetail.tmpl", &fileDetail},
                 {"filedownload.tmpl", &fileDownload},
                 {"filelist.tmpl", &fileList}}};
    }
};

// The aliases of the file areas, gathered while the area collection is walked.
class CGenerationRun::CAliasMap : public IAreaAliasSource {
public:
    std::unordered_map<long long, CAreaAliases> areas;

    bool FindAliases(long long areaId, CAreaAliases& aliases) const override {
        const auto it = areas.find(areaId);
        if (it == areas.end()) {
            return false;
        }
        aliases = it->second;
        return true;
    }
};

CGenerationRun::CGenerationRun(CGenerationSettings settings, IGenerationEnvironment& environment,
                               IStatusWindow& window, const CManualResetEvent& stop)
    : m_settings(std::move(settings)), m_environment(environment), m_window(window), m_stop(stop) {}

CGenerationRun::~CGenerationRun() = default;

std::string CGenerationRun::GetLogPath() const {
    // Without an installation directory the log goes to the working directory rather than
    // to the root of the file system.
    return m_settings.installDir.empty() ? std::string("Sheetforge.log")
                                         : m_settings.installDir + "/Sheetforge.log";
}

void CGenerationRun::Run() {
    m_startStamp = FormatGenerationStamp();
    m_filesProcessed = 0;
    m_pagesNotWritten = 0;
    m_error = false;
    AppendLog("Start generation on " + m_startStamp + "\n");

    m_root = m_settings.httpPath + "/";
    m_templateDir = m_settings.installDir.empty() ? std::string("templates/")
                                                  : m_settings.installDir + "/templates/";

    if (!m_environment.InitializeThread()) {
        // Nothing was generated: a failure, even though there is nothing more to log.
        PostLine(STATUS_LINE2, "CoInitialize failed\n");
        m_error = true;
    } else {
        Generate();
        m_writer.reset();
        m_pages.reset();
        m_catalogue.reset();
        m_areas.reset();
        m_groups.reset();
        m_environment.UninitializeThread();
    }
    if (m_pagesNotWritten > NAMED_WRITE_FAILURES) {
        AppendLog(std::to_string(m_pagesNotWritten) + " pages could not be written in all\n");
    }
    m_window.PostStatusMessage(STATUS_FINISHED, {}, 0);

    char line[STATUS_TEXT_BUFFER];
    std::snprintf(line, sizeof line, "Stop generation on %s at %s, processed %lu files\n",
                  FormatNow("%x").c_str(), FormatNow("%X").c_str(),
                  static_cast<unsigned long>(m_filesProcessed));
    AppendLog(line);
}

bool CGenerationRun::Generate() {
    m_groups = m_environment.CreateGroupCollection();
    if (!m_groups) {
        ReportError("Could not create Catalink.GroupCollection\n");
        LogCreationProblem();
        return false;
    }
    m_areas = m_environment.CreateAreaCollection();
    if (!m_areas) {
        ReportError("Could not create Catalink.AreaCollection\n");
        LogCreationProblem();
        return false;
    }
    std::string error;
    m_catalogue = m_environment.OpenCatalogue(m_settings.dataSource, error);
    if (!m_catalogue) {
        if (!error.empty()) {
            AppendLog(error + "\n");
        }
        ReportError("Could not open Dorvale database\n");
        return false;
    }
    CTemplate::SetIncludeDirectory(m_root);
    m_pages = std::make_unique<CPages>();
    m_aliases = std::make_unique<CAliasMap>();
    m_areaTotals.clear();
    if (!CompileTemplates() || !ComputeProgressTotal()) {
        return false;
    }
    const int threads = PageThreadCount(m_settings.jobs);
    // One thread writes on the run's own thread: a pool of one would only add hand-overs.
    m_writer = std::make_unique<CPageWriter>(threads > 1 ? threads : 0, m_root,
                                             m_pages->fileDetail, m_pages->fileDownload,
                                             m_settings.httpServer, m_settings.ftpServer,
                                             m_aliases.get());
    // Each step's pages are written, and their failures reported, before the next step or
    // the end of the run, a failed step's too.
    const auto written = [this](bool done) {
        FlushPages();
        return done;
    };
    // In this order: the note at the top of the file says why.
    return written(WriteGroupIndex()) && written(WriteBodyPages()) &&
           written(WriteGroupPages()) && written(WriteTopPages(AREA_KEY_NEWEST, NEWEST_LIST)) &&
           written(WriteTopPages(AREA_KEY_POPULAR, POPULAR_LIST)) && written(WriteDetailPages()) &&
           written(WriteUploadPage());
}

bool CGenerationRun::CompileTemplates() {
    for (const auto& [name, page] : m_pages->TemplateFiles()) {
        if (!CompileTemplate(*page, name)) {
            return false;
        }
    }
    return true;
}

bool CGenerationRun::CompileTemplate(CTemplate& page, const char* name) {
    try {
        if (!page.Compile(m_templateDir + name)) {
            ReportError(std::string("Could not load ") + name + "\n");
            return false;
        }
    } catch (const CCompileException& exception) {
        ReportError(std::string("Compile error on file ") + name + "\n");
        char line[STATUS_TEXT_BUFFER];
        std::snprintf(line, sizeof line, "Error: %s, Line: %d", exception.GetMessage().c_str(),
                      exception.GetLine());
        AppendLog(line);
        return false;
    }
    return true;
}

bool CGenerationRun::ComputeProgressTotal() {
    long long total = STEPS_GROUP_INDEX;
    long long groups = 0;
    if (!m_groups->GetCount(groups)) {
        ReportCatalinkError();
        return false;
    }
    for (long long g = 1; g <= groups; ++g) {
        const std::unique_ptr<IPageFileGroup> group = m_groups->GetItem(g);
        long long areas = 0;
        if (!group || !group->GetCount(areas)) {
            ReportCatalinkError();
            return false;
        }
        total += STEPS_PER_GROUP + STEPS_PER_GROUP_AREA * areas;
    }
    long long areas = 0;
    if (!m_areas->GetCount(areas)) {
        ReportCatalinkError();
        return false;
    }
    total += STEPS_PER_AREA * areas + STEPS_TOP_LISTS;
    long long files = 0;
    switch (m_catalogue->CountFiles(files)) {
    case EOpenResult::Opened:
        break;
    case EOpenResult::NotOpened:
        ReportError("Could not count records in file database\n");
        return false;
    case EOpenResult::Error:
        ReportDatabaseError("Database error counting records");
        return false;
    }
    m_total = total + STEPS_PER_FILE * files + STEPS_DETAILS_END;
    m_step = 0;
    m_lastPercent = -1;
    return true;
}

bool CGenerationRun::WriteGroupIndex() {
    PostLine(STATUS_LINE1, "Generating group index");
    m_pages->groupList.SetGroupCollection(m_groups.get());
    WritePage(m_pages->groupList, "index.asp");
    if (m_pages->groupList.HasFailed()) {
        ReportCatalinkError();
        return false;
    }
    ProgressStep();
    return true;
}

bool CGenerationRun::WriteBodyPages() {
    PostLine(STATUS_LINE1, "Generating area body pages...");
    long long areas = 0;
    if (!m_areas->GetCount(areas)) {
        ReportCatalinkError();
        return false;
    }
    // The popular and newest lists by their keys, then the areas by index (no key 0).
    for (long long index = AREA_KEY_POPULAR; index <= areas; ++index) {
        if (index == 0) {
            continue;
        }
        if (IsStopRequested()) {
            return false;
        }
        long long key = index;
        std::string keyText;
        if (index > 0) {
            CPageArea area;
            CAreaAliases aliases;
            if (!m_areas->GetItem(index, area) || !m_areas->GetAliases(index, aliases)) {
                ReportCatalinkError();
                return false;
            }
            key = area.id;
            keyText = std::to_string(key);
            m_aliases->areas[key] = std::move(aliases);
            PostLine(STATUS_LINE2, "Area: " + area.name);
        } else {
            keyText = index == AREA_KEY_POPULAR ? POPULAR_LIST : NEWEST_LIST;
            PostLine(STATUS_LINE2,
                     index == AREA_KEY_POPULAR ? "Area: Most popular files" : "Area: Newest files");
        }
        if (!WriteAreaBodyPages(key, keyText)) {
            return false;
        }
        ProgressStep();
    }
    return true;
}

bool CGenerationRun::WriteAreaBodyPages(long long key, const std::string& keyText) {
    CFileListPage& page = m_pages->fileList;
    for (int sort = 0; sort < SORT_COUNT; ++sort) {
        if (IsStopRequested()) {
            return false;
        }
        std::unique_ptr<IFileListSource> list;
        const EOpenResult opened = m_catalogue->OpenFileList(key, sort, list);
        if (opened == EOpenResult::Error) {
            ReportDatabaseError(DATABASE_ERROR);
            return false;
        }
        const std::string prefix = "files/body/" + keyText + "/page";
        const std::string suffix = "-" + std::string(SortName(sort)) + ".asp";
        long long listed = 0;
        if (opened == EOpenResult::Opened) {
            page.Bind(list.get());
            for (long long number = 1;; ++number) {
                std::string bytes = RenderPage(page);
                if (page.HasFailed()) {
                    page.Bind(nullptr);
                    ReportDatabaseError(DATABASE_ERROR);
                    return false;
                }
                // A template without a loop never reaches the end of the rows.
                const bool last = page.IsEnd() || page.GetRowCount() == 0;
                // An empty area has no body pages (below), so its first is not written.
                if (!(sort == SORT_TITLE && number == 1 && last && page.GetListTotal() == 0)) {
                    SubmitPage(prefix + std::to_string(number) + suffix, std::move(bytes));
                }
                if (last) {
                    break;
                }
            }
            listed = page.GetListTotal();
            page.Bind(nullptr);
        }
        if (sort == SORT_TITLE) {
            m_areaTotals[key] = listed;
            if (listed == 0) {
                // One left by an earlier run would list files the area no longer has.
                std::remove(PagePath(prefix + "1" + suffix).c_str());
                break;
            }
        }
    }
    return true;
}

bool CGenerationRun::WriteGroupPages() {
    long long groups = 0;
    if (!m_groups->GetCount(groups)) {
        ReportCatalinkError();
        return false;
    }
    for (long long g = 1; g <= groups; ++g) {
        const std::unique_ptr<IPageFileGroup> group = m_groups->GetItem(g);
        std::string name;
        if (!group || !group->GetName(name)) {
            ReportCatalinkError();
            return false;
        }
        PostLine(STATUS_LINE1, "Generating group pages: " + name);
        if (IsStopRequested()) {
            return false;
        }
        // The name becomes a directory beside the pages' own: one that would climb out or
        // write into theirs is an error, and the other groups are still written.
        if (const std::string problem = GetGroupNameProblem(name); !problem.empty()) {
            ReportError("Group \"" + name + "\" not generated: " + problem + "\n");
            continue;
        }
        if (!m_pages->areaList.SetGroup(group.get())) {
            ReportCatalinkError();
            return false;
        }
        WritePage(m_pages->areaList, "areas/" + name + ".asp");
        if (m_pages->areaList.HasFailed()) {
            ReportCatalinkError();
            return false;
        }
        ProgressStep();

        CAreaHeaderPage& header = m_pages->areaHeader;
        long long areas = 0;
        if (!header.SetGroup(group.get()) || !group->GetCount(areas)) {
            ReportCatalinkError();
            return false;
        }
        for (long long a = 1; a <= areas; ++a) {
            CPageArea area;
            if (!group->GetItem(a, area)) {
                ReportCatalinkError();
                return false;
            }
            PostLine(STATUS_LINE2, "Area: " + area.name);
            if (IsStopRequested()) {
                return false;
            }
            header.SetCurrentArea(area.id);
            const std::string id = std::to_string(area.id);
            WritePage(header, "files/header/" + name + "/area" + id + ".asp");
            if (header.HasFailed()) {
                ReportCatalinkError();
                return false;
            }
            ProgressStep();

            const auto total = m_areaTotals.find(area.id);
            if (!WriteFilePages(name, id, area.name,
                                total == m_areaTotals.end() ? 0 : total->second, true)) {
                return false;
            }
            ProgressStep();
        }
    }
    return true;
}

bool CGenerationRun::WriteFilePages(const std::string& group, const std::string& area,
                                    const std::string& areaName, long long total, bool atLeastOne) {
    CFilePage& page = m_pages->filePage;
    const long long pages = PageCount(total);
    page.SetGroupName(group);
    page.SetArea(std::string_view(area));
    page.SetAreaName(areaName);
    page.SetTotalRecords(total);
    for (int sort = 0; sort < SORT_COUNT; ++sort) {
        page.SetSort(sort);
        for (long long number = 1; number <= pages || (atLeastOne && number == 1); ++number) {
            page.SetPage(number);
            WritePage(page, "files/" + group + "/" + area + "/page" + std::to_string(number) + "-" +
                                std::string(SortName(sort)) + ".asp");
            if (IsStopRequested()) {
                return false;
            }
        }
    }
    return true;
}

bool CGenerationRun::WriteTopPages(long long key, const char* area) {
    PostLine(STATUS_LINE1, key == AREA_KEY_NEWEST ? "Generating newest file pages..."
                                                  : "Generating most popular file pages...\n");
    const auto total = m_areaTotals.find(key);
    if (!WriteFilePages(TOP_LISTS_GROUP, area, {}, total == m_areaTotals.end() ? 0 : total->second,
                        false)) {
        return false;
    }
    ProgressStep();
    return true;
}

bool CGenerationRun::WriteDetailPages() {
    PostLine(STATUS_LINE1, "Generating file detail and download pages...");
    std::unique_ptr<IFileDetailSource> details;
    if (m_catalogue->OpenDetails(details) != EOpenResult::Opened) {
        ReportDatabaseError(DATABASE_ERROR);
        return false;
    }
    IDownloadSource& downloads = m_catalogue->GetDownloads();
    // Ends early on a catalogue error or a stop; either way the pages handed over are written
    // and their failures reported before the run returns.
    bool complete = true;
    std::uint32_t submitted = 0;
    for (;;) {
        auto file = std::make_shared<CFileDetail>();
        const EFetchResult fetched = details->Fetch(*file);
        if (fetched == EFetchResult::End) {
            break;
        }
        if (fetched == EFetchResult::Error) {
            ReportDatabaseError(DATABASE_ERROR);
            complete = false;
            break;
        }
        PostLine(STATUS_LINE2, file->title);
        CPageJob detail;
        detail.file = file;
        m_writer->Submit(std::move(detail));
        ProgressStep();
        if (IsStopRequested()) {
            complete = false;
            break;
        }
        // A location that cannot be read leaves the file's list short, as it always has.
        CPageJob download;
        download.file = file;
        download.download = true;
        if (downloads.Open(file->fileId)) {
            std::string url;
            while (downloads.Fetch(url) == EFetchResult::Row) {
                download.locations.push_back(url);
            }
            downloads.Close();
        }
        m_writer->Submit(std::move(download));
        ProgressStep();
        if (IsStopRequested()) {
            complete = false;
            break;
        }
        ++submitted;
    }
    const CPageWriteFailures failures = FlushPages();
    // Files processed counts the files whose two pages were written.
    const std::size_t failedFiles = failures.files.size();
    m_filesProcessed +=
        submitted > failedFiles ? submitted - static_cast<std::uint32_t>(failedFiles) : 0;
    if (!complete) {
        return false;
    }
    details.reset();
    ProgressStep();
    return true;
}

void CGenerationRun::PostLine(int code, std::string text) {
    m_window.PostStatusMessage(code, LimitStatusText(std::move(text)), 0);
}

void CGenerationRun::ProgressStep() {
    ++m_step;
    long long percent = m_total > 0 ? m_step * 100 / m_total : 0;
    if (percent > 100) {
        percent = 100;
    }
    // The bar only moves in whole percent, so unchanged values are not posted again.
    if (percent != m_lastPercent) {
        m_lastPercent = static_cast<int>(percent);
        m_window.PostStatusMessage(STATUS_PERCENT, {}, m_lastPercent);
    }
}

void CGenerationRun::ReportError(const std::string& text) {
    PostLine(STATUS_LINE2, "Error generating, check Sheetforge.log for details");
    AppendLog(LimitStatusText(text) + "\n");
    m_error = true;
}

void CGenerationRun::LogCreationProblem() {
    const std::string problem = m_environment.GetCreationProblem();
    if (!problem.empty()) {
        AppendLog(problem + "\n");
    }
}

void CGenerationRun::ReportCatalinkError() {
    ReportError(CATALINK_ERROR);
}

void CGenerationRun::ReportDatabaseError(const char* text) {
    // The driver's own words help the administrator more than the summary alone.
    const std::string detail = m_catalogue ? m_catalogue->GetLastError() : std::string();
    if (!detail.empty()) {
        AppendLog(detail + "\n");
    }
    ReportError(text);
}

void CGenerationRun::AppendLog(const std::string& text) const {
    std::FILE* log = std::fopen(GetLogPath().c_str(), "a");
    if (!log) {
        return;
    }
    std::fwrite(text.data(), 1, text.size(), log);
    std::fclose(log);
}

std::string CGenerationRun::PagePath(const std::string& relative) const {
    return m_root + relative;
}

std::string CGenerationRun::RenderPage(CTemplate& page) {
    if (page.ReadsFilesWhenRendered()) {
        // Its include may name a page of this run: it reads the page once written.
        FlushPages();
    }
    std::string bytes;
    page.Render(bytes);
    return bytes;
}

void CGenerationRun::SubmitPage(std::string relative, std::string bytes) {
    CPageJob job;
    job.path = std::move(relative);
    job.bytes = std::move(bytes);
    m_writer->Submit(std::move(job));
}

void CGenerationRun::WritePage(CTemplate& page, std::string relative) {
    SubmitPage(std::move(relative), RenderPage(page));
}

CPageWriteFailures CGenerationRun::FlushPages() {
    CPageWriteFailures failures = m_writer->Drain();
    for (const std::string& error : failures.named) {
        NotePageNotWritten(error);
    }
    m_pagesNotWritten += failures.pages - static_cast<long long>(failures.named.size());
    return failures;
}

void CGenerationRun::NotePageNotWritten(const std::string& error) {
    // The run goes on: the other pages may still be written. The first few failures are named;
    // a full disk or an unwritable output directory would otherwise flood the log.
    if (++m_pagesNotWritten <= NAMED_WRITE_FAILURES) {
        ReportError("Could not write page " + error);
    }
    m_error = true;
}
