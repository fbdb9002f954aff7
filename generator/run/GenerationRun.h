#pragma once
// One generation run: writes the whole site below the web output directory from the areas
// and groups of the Catalink objects and the catalogue, reporting to a status window and
// appending to Sheetforge.log.

#include "Catalogue.h"
#include "GenerationStatus.h"
#include "PageSources.h"

#include <cstdint>
#include <memory>
#include <string>
#include <unordered_map>

class CPageWriter;
struct CPageWriteFailures;

// The settings a run needs, as read from the registry (trailing separators removed).
struct CGenerationSettings {
    std::string httpServer;
    std::string ftpServer;
    std::string httpPath;   // the web output directory
    std::string installDir; // templates below it, the log in it
    std::string dataSource = "Dorvale";
    long long allowUploads = 0; // the AllowUploads setting, for the upload page
    int jobs = 0;               // threads writing file pages; 0 for one per core
};

// Where a run gets what it reads. The run calls these on its worker thread, in this order,
// and releases everything it was given before UninitializeThread.
class IGenerationEnvironment {
public:
    virtual ~IGenerationEnvironment() = default;
    // Initialises the component runtime for the calling thread.
    virtual bool InitializeThread() = 0;
    virtual void UninitializeThread() = 0;
    // "Catalink.GroupCollection" and "Catalink.AreaCollection"; null when not created.
    virtual std::unique_ptr<IPageGroupCollection> CreateGroupCollection() = 0;
    virtual std::unique_ptr<IPageAreaCollection> CreateAreaCollection() = 0;
    // Why the last collection was not created, when its component said (a damaged store).
    virtual std::string GetCreationProblem() const { return {}; }
    // The catalogue data source opened read-only; null when it cannot be opened (`error`
    // then says why).
    virtual std::unique_ptr<ICatalogue> OpenCatalogue(const std::string& dataSource,
                                                      std::string& error) = 0;
};

// The environment of the program: the component runtime with the registered Catalink
// classes, and the ODBC data source.
std::unique_ptr<IGenerationEnvironment> CreateSystemEnvironment();

// "<short date> at <time>" of now, in the user's locale.
std::string FormatGenerationStamp();

class CGenerationRun {
public:
    CGenerationRun(CGenerationSettings settings, IGenerationEnvironment& environment,
                   IStatusWindow& window, const CManualResetEvent& stop);
    ~CGenerationRun();
    CGenerationRun(const CGenerationRun&) = delete;
    CGenerationRun& operator=(const CGenerationRun&) = delete;

    // Runs the whole generation on the calling thread; always posts STATUS_FINISHED last.
    void Run();

    // Read by the window once the run has finished.
    const std::string& GetStartStamp() const { return m_startStamp; }
    std::uint32_t GetFilesProcessed() const { return m_filesProcessed; }
    bool HasError() const { return m_error; }
    // The path of the log file.
    std::string GetLogPath() const;

private:
    class CPages;
    class CAliasMap;

    bool Generate();
    bool CompileTemplates();
    bool ComputeProgressTotal();
    bool WriteGroupIndex();
    bool WriteBodyPages();
    bool WriteAreaBodyPages(long long key, const std::string& keyText);
    bool WriteGroupPages();
    bool WriteTopPages(long long key, const char* area);
    bool WriteFilePages(const std::string& group, const std::string& area,
                        const std::string& areaName, long long total, bool atLeastOne);
    bool WriteDetailPages();
    bool WriteUploadPage(); // UploadPageRun.cpp
    bool CompileTemplate(class CTemplate& page, const char* name);

    bool IsStopRequested() const { return m_stop.IsSet(); }
    void PostLine(int code, std::string text);
    void ProgressStep();
    void ReportError(const std::string& text);
    // Logs what the environment said about a collection it did not create.
    void LogCreationProblem();
    void ReportCatalinkError();
    void ReportDatabaseError(const char* text);
    void AppendLog(const std::string& text) const;
    std::string PagePath(const std::string& relative) const;
    // Renders one page on the run's thread, for the page writer. The bytes are written
    // through a temporary file renamed into place; a page that cannot be written is an error
    // of the run (logged with its path and the system's reason at the end of the step), and
    // the run goes on.
    std::string RenderPage(class CTemplate& page);
    void SubmitPage(std::string relative, std::string bytes);
    void WritePage(class CTemplate& page, std::string relative);
    // Waits until the pages handed over are written; reports those that could not be, and
    // gives them.
    CPageWriteFailures FlushPages();
    // Counts a page that could not be written, names it in the log while few have failed, and
    // makes the run an error.
    void NotePageNotWritten(const std::string& error);

    CGenerationSettings m_settings;
    IGenerationEnvironment& m_environment;
    IStatusWindow& m_window;
    const CManualResetEvent& m_stop;

    std::string m_root;
    std::string m_templateDir;
    std::unique_ptr<IPageGroupCollection> m_groups;
    std::unique_ptr<IPageAreaCollection> m_areas;
    std::unique_ptr<ICatalogue> m_catalogue;
    std::unique_ptr<CPages> m_pages;
    std::unique_ptr<CAliasMap> m_aliases;
    std::unique_ptr<CPageWriter> m_writer; // reads m_aliases: ends before it
    std::unordered_map<long long, long long> m_areaTotals;
    long long m_step = 0;
    long long m_total = 0;
    int m_lastPercent = -1;

    std::string m_startStamp;
    std::uint32_t m_filesProcessed = 0;
    long long m_pagesNotWritten = 0;
    bool m_error = false;
};
