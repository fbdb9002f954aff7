// Page rendering against two other C++ template engines, Google's ctemplate and mstch, on the
// same pages: a detail page (15 variables in about 3 KB of text) and a file-list body page
// (a loop of 10 rows with 6 variables each). Prints pages per second and our ratio to the
// faster peer, then the time to compile each of the seven page templates.
#include "MemorySources.h"
#include "Pages.h"
#include "Template.h"

#include <benchmark/benchmark.h>
#include <chrono>
#include <cstdio>
#include <ctemplate/template.h>
#include <map>
#include <mstch/mstch.hpp>
#include <regex>
#include <string>
#include <utility>
#include <vector>

namespace {

constexpr int PAGES = 100000;

// --- the pages, written once in our syntax and translated for the peers ---

const std::vector<std::pair<std::string, std::string>> DETAIL_VALUES = {
    {"httpserver", "http://www.example.com"},
    {"fileid", "4711"},
    {"title", "Dorvale Sample Archive"},
    {"urltitle", "Dorvale%20Sample%20Archive"},
    {"filesize", "1.4 MB"},
    {"shortdesc", "A sample archive with a short description of what it holds."},
    {"longdesc", "A longer description of the archive, as an uploader would write it, "
                 "with a few sentences about its contents, its history and its use."},
    {"upldname", "Jane Uploader"},
    {"upldemail", "jane@example.com"},
    {"urlupldemail", "jane%40example%2Ecom"},
    {"downloads", "12,345"},
    {"filedate", "Monday, March 02, 1998"},
    {"version", "2.1"},
    {"reqform", "yes"},
    {"group", "Utilities"},
};

std::string DetailSource() {
    std::string s = "<html><head><title>@title@ - File details</title>\n"
                    "<meta name=\"description\" content=\"@shortdesc@\">\n"
                    "<link rel=\"stylesheet\" href=\"/dorvale/style.css\"></head>\n"
                    "<body bgcolor=\"#ffffff\" text=\"#000000\" link=\"#0000cc\">\n";
    const std::string filler =
        "<p class=\"note\">Files in this library are checked before they are published. "
        "Read the description and the requirements before you download.</p>\n";
    for (int i = 0; i < 6; ++i) {
        s += filler;
    }
    s += "<table width=\"100%\" border=\"0\" cellpadding=\"2\">\n"
         "<tr><td>Title</td><td><b>@title@</b></td></tr>\n"
         "<tr><td>Group</td><td>@group@</td></tr>\n"
         "<tr><td>Size</td><td>@filesize@</td></tr>\n"
         "<tr><td>Version</td><td>@version@</td></tr>\n"
         "<tr><td>Date</td><td>@filedate@</td></tr>\n"
         "<tr><td>Downloads</td><td>@downloads@</td></tr>\n"
         "<tr><td>Uploaded by</td><td><a href=\"mailto:@upldemail@\">@upldname@</a></td></tr>\n"
         "<tr><td>Form</td><td>@reqform@</td></tr>\n"
         "</table>\n<h3>Description</h3><p>@longdesc@</p>\n"
         "<p><a href=\"@httpserver@/dorvale/download/@fileid@.asp\">Download</a> | "
         "<a href=\"/dorvale/reviews/review.asp?id=@fileid@&title=@urltitle@\">Review</a> | "
         "<a href=\"/dorvale/contact.asp?to=@urlupldemail@\">Contact</a></p>\n";
    for (int i = 0; i < 9; ++i) {
        s += filler;
    }
    s += "</body></html>\n";
    return s;
}

const std::vector<std::string> ROW_NAMES = {"coloreven", "fileid",    "title",
                                            "filedate",  "shortdesc", "downloads"};

std::vector<std::vector<std::string>> ListRows() {
    std::vector<std::vector<std::string>> rows;
    for (int i = 0; i < 10; ++i) {
        rows.push_back({i % 2 == 0 ? "bgcolor=\"#e8e8e8\"" : "", std::to_string(1000 + i),
                        "File title number " + std::to_string(i), "03/02/98",
                        "A short description of file " + std::to_string(i), "1,234"});
    }
    return rows;
}

std::string ListSource() {
    return "<table width=\"100%\" border=\"0\" cellspacing=\"0\" cellpadding=\"3\">\n"
           "<tr><th>Title</th><th>Date</th><th>Description</th><th>Downloads</th></tr>\n"
           "@loop@<tr @coloreven@><td><a href=\"/dorvale/details/@fileid@.asp\">@title@</a></td>"
           "<td>@filedate@</td><td>@shortdesc@</td><td align=\"right\">@downloads@</td></tr>\n"
           "@endloop@</table>\n";
}

// "@name@" as "{{name}}" (ctemplate, no modifier) or "{{{name}}}" (mstch, unescaped).
std::string Translate(const std::string& ours, const std::string& open, const std::string& close,
                      const std::string& section) {
    std::string s = std::regex_replace(ours, std::regex("@loop@"), "{{#" + section + "}}");
    s = std::regex_replace(s, std::regex("@endloop@"), "{{/" + section + "}}");
    return std::regex_replace(s, std::regex("@([a-z]+)@"), open + "$1" + close);
}

// --- ours ---

class CBenchList : public CTemplate {
public:
    explicit CBenchList(const std::vector<std::vector<std::string>>& rows) : m_rows(rows) {
        for (const auto& name : ROW_NAMES) {
            m_slots.push_back(GetSlot(name));
        }
    }
    void LoopStart() override { m_next = 0; }
    bool LoopNext() override {
        if (m_next == m_rows.size()) {
            return false;
        }
        const auto& row = m_rows[m_next++];
        for (std::size_t i = 0; i < row.size(); ++i) {
            SetSlot(m_slots[i], row[i]);
        }
        return true;
    }

private:
    const std::vector<std::vector<std::string>>& m_rows;
    std::vector<int> m_slots;
    std::size_t m_next = 0;
};

void OursDetail(benchmark::State& state) {
    CTemplate page;
    page.CompileText(DetailSource());
    std::string out;
    for (auto _ : state) {
        for (const auto& [name, value] : DETAIL_VALUES) {
            page.SetVariable(name, value);
        }
        out.clear();
        page.Render(out);
        benchmark::DoNotOptimize(out.data());
    }
    state.SetItemsProcessed(state.iterations());
}

void OursDetailPageKind(benchmark::State& state) {
    CFileDetailPage page;
    page.CompileText(DetailSource());
    CFileDetail file;
    file.fileId = 4711;
    file.title = DETAIL_VALUES[2].second;
    file.size = 1468006;
    file.shortDesc = DETAIL_VALUES[5].second;
    file.longDesc = DETAIL_VALUES[6].second;
    file.upldName = "Jane Uploader";
    file.upldEmail = "jane@example.com";
    file.downloads = 12345;
    file.fileDate = CDate{1998, 3, 2};
    file.version = "2.1";
    file.reqForm = true;
    page.SetHttpServer("http://www.example.com/");
    page.SetVariable("group", "Utilities");
    std::string out;
    for (auto _ : state) {
        page.SetFile(file);
        out.clear();
        page.Render(out);
        benchmark::DoNotOptimize(out.data());
    }
    state.SetItemsProcessed(state.iterations());
}

void OursList(benchmark::State& state) {
    const auto rows = ListRows();
    CBenchList page(rows);
    page.CompileText(ListSource());
    std::string out;
    for (auto _ : state) {
        out.clear();
        page.Render(out);
        benchmark::DoNotOptimize(out.data());
    }
    state.SetItemsProcessed(state.iterations());
}

void OursListPageKind(benchmark::State& state) {
    CMemoryFileList list;
    for (int i = 0; i < 10; ++i) {
        CFileListRow row;
        row.fileId = 1000 + i;
        row.title = "File title number " + std::to_string(i);
        row.shortDesc = "A short description of file " + std::to_string(i);
        row.downloads = 1234;
        row.fileDate = CDate{1998, 3, 2};
        list.rows.push_back(row);
    }
    CFileListPage page;
    page.CompileText(ListSource());
    std::string out;
    for (auto _ : state) {
        list.next = 0;
        page.Bind(&list);
        out.clear();
        page.Render(out);
        benchmark::DoNotOptimize(out.data());
    }
    state.SetItemsProcessed(state.iterations());
}

// --- Google's ctemplate ---

void CtemplateDetail(benchmark::State& state) {
    ctemplate::StringToTemplateCache("detail", Translate(DetailSource(), "{{", "}}", "ROWS"),
                                     ctemplate::DO_NOT_STRIP);
    std::string out;
    for (auto _ : state) {
        ctemplate::TemplateDictionary dict("detail");
        for (const auto& [name, value] : DETAIL_VALUES) {
            dict.SetValue(name, value);
        }
        out.clear();
        ctemplate::ExpandTemplate("detail", ctemplate::DO_NOT_STRIP, &dict, &out);
        benchmark::DoNotOptimize(out.data());
    }
    state.SetItemsProcessed(state.iterations());
}

void CtemplateList(benchmark::State& state) {
    ctemplate::StringToTemplateCache("list", Translate(ListSource(), "{{", "}}", "ROWS"),
                                     ctemplate::DO_NOT_STRIP);
    const auto rows = ListRows();
    std::string out;
    for (auto _ : state) {
        ctemplate::TemplateDictionary dict("list");
        for (const auto& row : rows) {
            ctemplate::TemplateDictionary* section = dict.AddSectionDictionary("ROWS");
            for (std::size_t i = 0; i < row.size(); ++i) {
                section->SetValue(ROW_NAMES[i], row[i]);
            }
        }
        out.clear();
        ctemplate::ExpandTemplate("list", ctemplate::DO_NOT_STRIP, &dict, &out);
        benchmark::DoNotOptimize(out.data());
    }
    state.SetItemsProcessed(state.iterations());
}

// --- mstch ---

void MstchDetail(benchmark::State& state) {
    const std::string view = Translate(DetailSource(), "{{{", "}}}", "rows");
    std::string out;
    for (auto _ : state) {
        mstch::map context;
        for (const auto& [name, value] : DETAIL_VALUES) {
            context.emplace(name, value);
        }
        out = mstch::render(view, context);
        benchmark::DoNotOptimize(out.data());
    }
    state.SetItemsProcessed(state.iterations());
}

void MstchList(benchmark::State& state) {
    const std::string view = Translate(ListSource(), "{{{", "}}}", "rows");
    const auto rows = ListRows();
    std::string out;
    for (auto _ : state) {
        mstch::array list;
        for (const auto& row : rows) {
            mstch::map entry;
            for (std::size_t i = 0; i < row.size(); ++i) {
                entry.emplace(ROW_NAMES[i], row[i]);
            }
            list.emplace_back(std::move(entry));
        }
        out = mstch::render(view, mstch::map{{"rows", list}});
        benchmark::DoNotOptimize(out.data());
    }
    state.SetItemsProcessed(state.iterations());
}

BENCHMARK(OursDetail)->Iterations(PAGES);
BENCHMARK(OursDetailPageKind)->Iterations(PAGES);
BENCHMARK(CtemplateDetail)->Iterations(PAGES);
BENCHMARK(MstchDetail)->Iterations(PAGES);
BENCHMARK(OursList)->Iterations(PAGES);
BENCHMARK(OursListPageKind)->Iterations(PAGES);
BENCHMARK(CtemplateList)->Iterations(PAGES);
BENCHMARK(MstchList)->Iterations(PAGES);

// Collects pages per second by benchmark name for the summary.
class CSummaryReporter : public benchmark::ConsoleReporter {
public:
    std::map<std::string, double> perSecond;
    void ReportRuns(const std::vector<Run>& runs) override {
        ConsoleReporter::ReportRuns(runs);
        for (const Run& run : runs) {
            const auto found = run.counters.find("items_per_second");
            if (found != run.counters.end()) {
                perSecond[run.benchmark_name()] = found->second.value;
            }
        }
    }
};

double Rate(const CSummaryReporter& r, const std::string& prefix) {
    for (const auto& [name, value] : r.perSecond) {
        if (name.starts_with(prefix + "/")) {
            return value;
        }
    }
    return 0;
}

void PrintComparison(const CSummaryReporter& r, const char* page, const std::string& ours,
                     const std::string& ctemplateName, const std::string& mstchName) {
    const double us = Rate(r, ours);
    const double ct = Rate(r, ctemplateName);
    const double mu = Rate(r, mstchName);
    const double faster = ct > mu ? ct : mu;
    std::printf("%-12s ours %10.0f pages/s  ctemplate %10.0f  mstch %10.0f  "
                "ratio to the faster peer %.2f\n",
                page, us, ct, mu, faster > 0 ? us / faster : 0.0);
}

// Compile time of the seven page templates, each compiled many times.
void PrintCompileTimes() {
    const std::vector<std::pair<const char*, std::string>> templates = {
        {"grouplist.tmpl", "<ul>@loop@<li><a href=\"/dorvale/areas/@urlgroup@.asp\">@group@</a>"
                           "@endloop@</ul>\n"},
        {"arealist.tmpl", "<h2>@group@</h2>@loop@<a href=\"/dorvale/files/@urlgroup@/@areaid@/"
                          "page1-title.asp\">@area@</a><br>@endloop@\n"},
        {"areaheader.tmpl", "@loop@@if areaid=currentarea@<b>@area@</b>@else@<a href=\"/dorvale/"
                            "files/@urlgroup@/@areaid@/page1-title.asp\">@area@</a>@endif@ "
                            "@endloop@@includedef currentarea,files/header/default.asp@\n"},
        {"filepage.tmpl", "<h2>@group@</h2>Files @displayrange@ of @totalrecords@ sorted by "
                          "@titlesort@ | @downloadsort@ | @datesort@<br>\n<!--#include virtual="
                          "\"/dorvale/files/body/@areaid@/page@page@-@sort@.asp\" -->\n@navbar@\n"},
        {"filedetail.tmpl", DetailSource()},
        {"filedownload.tmpl", "<h2>@title@</h2>@filesize@<table>@loop@<tr @coloreven@><td><a "
                              "href=\"@url@\">@sitename@</a></td></tr>@endloop@</table>\n"},
        {"filelist.tmpl", ListSource()},
    };
    std::printf("compile time per template:\n");
    for (const auto& [name, text] : templates) {
        constexpr int ROUNDS = 2000;
        CTemplate page;
        const auto start = std::chrono::steady_clock::now();
        for (int i = 0; i < ROUNDS; ++i) {
            page.CompileText(text);
        }
        const std::chrono::duration<double, std::micro> spent =
            std::chrono::steady_clock::now() - start;
        std::printf("  %-18s %6zu bytes  %8.2f us\n", name, text.size(), spent.count() / ROUNDS);
    }
}

} // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    CSummaryReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    std::printf("\n");
    PrintComparison(reporter, "detail", "OursDetail", "CtemplateDetail", "MstchDetail");
    PrintComparison(reporter, "detail kind", "OursDetailPageKind", "CtemplateDetail",
                    "MstchDetail");
    PrintComparison(reporter, "file list", "OursList", "CtemplateList", "MstchList");
    PrintComparison(reporter, "list kind", "OursListPageKind", "CtemplateList", "MstchList");
    PrintCompileTimes();
    benchmark::Shutdown();
    return 0;
}
