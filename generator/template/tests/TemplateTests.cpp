#include "Template.h"
#include "TestSupport.h"

#include <algorithm>
#include <clocale>
#include <fcntl.h>
#include <future>
#include <gtest/gtest.h>
#include <map>
#include <sys/stat.h>
#include <unistd.h>

using testsupport::CTempDir;
using testsupport::ReadFile;
using testsupport::WriteFile;

namespace {

// Rows for `@loop@`; a loop inside a loop walks the `inner` rows, once per outer row.
class CRowsTemplate : public CTemplate {
public:
    using Row = std::map<std::string, std::string>;
    std::vector<Row> rows;
    std::vector<Row> inner;
    int starts = 0;

    void LoopStart() override {
        ++starts;
        m_levels.push_back(0);
    }
    bool LoopNext() override {
        if (m_levels.empty()) {
            return false;
        }
        const auto& source = m_levels.size() == 1 ? rows : inner;
        std::size_t& next = m_levels.back();
        if (next >= source.size()) {
            m_levels.pop_back();
            return false;
        }
        for (const auto& [name, value] : source[next]) {
            SetVariable(name, value);
        }
        ++next;
        return true;
    }

private:
    std::vector<std::size_t> m_levels;
};

std::string Render(CTemplate& t) {
    std::string out;
    t.Render(out);
    return out;
}

std::string CompileAndRender(const std::string& source,
                             const std::map<std::string, std::string>& variables = {}) {
    CTemplate t;
    for (const auto& [name, value] : variables) {
        t.SetVariable(name, value);
    }
    EXPECT_TRUE(t.CompileText(source));
    return Render(t);
}

// The error a source gives, as "LINE: MESSAGE", or "ok".
std::string CompileError(const std::string& source) {
    CTemplate t;
    try {
        t.CompileText(source);
    } catch (const CCompileException& e) {
        return std::to_string(e.GetLine()) + ": " + e.GetMessage();
    }
    return "ok";
}

std::string Nest(int depth, const std::string& open, const std::string& close) {
    std::string s;
    for (int i = 0; i < depth; ++i) {
        s += open + "\n";
    }
    s += "x\n";
    for (int i = 0; i < depth; ++i) {
        s += close + "\n";
    }
    return s;
}

// Each test uses its own include directory and starts with an empty include cache.
class TemplateIncludes : public ::testing::Test {
protected:
    void SetUp() override {
        CTemplate::SetIncludeDirectory(m_dir.Path().string());
        CTemplate::ClearIncludeCache();
    }
    void TearDown() override { CTemplate::ClearIncludeCache(); }
    void Write(const std::string& name, const std::string& content) {
        std::filesystem::create_directories((m_dir.Path() / name).parent_path());
        WriteFile(m_dir.Path() / name, content);
    }
    CTempDir m_dir;
};

} // namespace

TEST(TemplateScanning, AtSignsOpenCloseAndStayTextAsTheScannerRulesSay) {
    const std::map<std::string, std::string> vars{{"name", "V"}, {"title", "T"}};
    EXPECT_EQ(CompileAndRender("a@b", vars), "a@b");
    EXPECT_EQ(CompileAndRender("x@name@y", vars), "xVy");
    EXPECT_EQ(CompileAndRender("@@name@", vars), "@V");
    EXPECT_EQ(CompileAndRender("a@@b@@c", vars), "a@@b@@c");
    EXPECT_EQ(CompileAndRender("@@@", vars), "@@@");
    EXPECT_EQ(CompileAndRender("mail@@name@.org", vars), "mail@V.org");
    // A directive never spans lines: the opener is forgotten at a line feed or carriage return.
    EXPECT_EQ(CompileAndRender("a@b\nc@name@", vars), "a@b\ncV");
    EXPECT_EQ(CompileAndRender("a@name\r@name@", vars), "a@name\rV");
    EXPECT_EQ(CompileAndRender("@name\n@", vars), "@name\n@");
    // The content is taken exactly as written.
    EXPECT_EQ(CompileAndRender("[@ title @]", vars), "[@ title @]");
    EXPECT_EQ(CompileAndRender("@title@@name@", vars), "TV");
    EXPECT_EQ(CompileAndRender("", vars), "");
}

TEST(TemplateScanning, InstructionsReferToTheSourceAndResolveJumps) {
    CTemplate empty;
    ASSERT_TRUE(empty.CompileText(""));
    ASSERT_EQ(empty.GetInstructions().size(), 1u);
    EXPECT_EQ(empty.GetInstructions()[0].kind, CTemplate::EKind::Text);
    EXPECT_EQ(empty.GetInstructions()[0].length, 0u);

    CTemplate t;
    ASSERT_TRUE(t.CompileText("ab@if x@c@elseif y@d@else@e@endif@@loop@f@endloop@"));
    using K = CTemplate::EKind;
    const auto& in = t.GetInstructions();
    const std::vector<K> kinds{K::Text, K::If,    K::Text, K::ElseIf, K::Text,    K::Else,
                               K::Text, K::EndIf, K::Loop, K::Text,   K::EndLoop, K::Text};
    ASSERT_EQ(in.size(), kinds.size());
    for (std::size_t i = 0; i < kinds.size(); ++i) {
        EXPECT_EQ(in[i].kind, kinds[i]) << i;
    }
    EXPECT_EQ(in[0].offset, 0u);
    EXPECT_EQ(in[0].length, 2u);
    EXPECT_EQ(in[1].name, "x");
    EXPECT_EQ(in[1].jump, 3);
    EXPECT_EQ(in[3].jump, 5);
    EXPECT_EQ(in[5].jump, 7);
    EXPECT_EQ(in[8].jump, 10);
    EXPECT_EQ(in[10].jump, 8);
}

TEST(TemplateVariables, NamesAreExactAndUnknownReferencesStayVisible) {
    CTemplate t;
    ASSERT_TRUE(t.CompileText("<@title@|@Title@|@missing@|@n@>"));
    t.SetVariable("title", "first");
    t.SetVariable("title", "second"); // replaces
    t.SetVariable("n", -42LL);
    EXPECT_EQ(Render(t), "<second|@Title@|@missing@|-42>");
    // Values set after compiling and between renders are what the next render writes.
    t.SetVariable("Title", "Upper");
    t.SetVariable("missing", "");
    EXPECT_EQ(Render(t), "<second|Upper||-42>");
    EXPECT_TRUE(t.HasVariable("missing"));
    EXPECT_FALSE(t.HasVariable("other"));
    EXPECT_EQ(t.GetVariable("n"), "-42");

    // A value is written as it stands: directives in it are not interpreted.
    t.SetVariable("title", "@n@ @if x@");
    EXPECT_EQ(Render(t), "<@n@ @if x@|Upper||-42>");
}

TEST(TemplateCompileErrors, EachErrorCarriesItsMessageAndLine) {
    EXPECT_EQ(CompileError("a\n@endif@"), "2: if expected");
    EXPECT_EQ(CompileError("@else@"), "1: if expected");
    EXPECT_EQ(CompileError("\n\n@elseif a@"), "3: if expected");
    EXPECT_EQ(CompileError("@loop@\n@endif@\n@endloop@"), "2: if expected");
    EXPECT_EQ(CompileError("@loop@\n@else@"), "2: if expected");
    EXPECT_EQ(CompileError("x\n@endloop@"), "2: loop expected");
    EXPECT_EQ(CompileError("@if a@\n@endloop@\n@endif@"), "2: loop expected");
    EXPECT_EQ(CompileError("line1\n@includedef areaid files/x.asp@\n"),
              "2: includedef expectsts two parameters");
    // A template that ends inside a block names its last line.
    EXPECT_EQ(CompileError("@if a@\nx\ny"), "3: endif expected");
    EXPECT_EQ(CompileError("@if a@\nx\ny\n"), "3: endif expected");
    EXPECT_EQ(CompileError("@loop@\n@if a@\n@endif@\n"), "3: endloop expected");
    EXPECT_EQ(CompileError("@if a@@loop@"), "1: endloop expected");
    EXPECT_EQ(CompileError("@loop@@if a@"), "1: endif expected");
    // Directives are recognised only as written.
    EXPECT_EQ(CompileError("@If a@@Endif@@endif @@ endif@@ENDLOOP@"), "ok");
}

TEST(TemplateCompileErrors, TenNestedBlocksCompileAndTheEleventhFails) {
    EXPECT_EQ(CompileError(Nest(10, "@if a@", "@endif@")), "ok");
    EXPECT_EQ(CompileError(Nest(10, "@loop@", "@endloop@")), "ok");
    EXPECT_EQ(CompileError(Nest(11, "@if a@", "@endif@")), "11: Too many levels of nesting");
    EXPECT_EQ(CompileError(Nest(11, "@loop@", "@endloop@")), "11: Too many levels of nesting");
    // Mixed kinds count together; closed blocks free their level.
    EXPECT_EQ(CompileError(Nest(5, "@if a@", "@endif@") + Nest(10, "@loop@", "@endloop@")), "ok");
    EXPECT_EQ(CompileError("@loop@@if a@@loop@@if a@@loop@@if a@@loop@@if a@@loop@\n@if a@\n"
                           "@loop@"),
              "3: Too many levels of nesting");

    // Ten levels deep still render correctly.
    CTemplate t;
    ASSERT_TRUE(t.CompileText(Nest(10, "@if a@", "@else@no@endif@")));
    t.SetVariable("a", "1");
    std::string out = Render(t);
    EXPECT_EQ(std::count(out.begin(), out.end(), 'x'), 1);
    EXPECT_EQ(out.find("no"), std::string::npos);
}

TEST(TemplateConditions, OperandsTrimLowerCaseAndFallBackToTheirName) {
    const std::map<std::string, std::string> vars{
        {"title", "Hello"}, {"empty", ""}, {"group", "Games"}, {"lower", "games"}};
    auto cond = [&](const std::string& c) {
        return CompileAndRender("@if " + c + "@T@else@F@endif@", vars);
    };
    EXPECT_EQ(cond("title"), "T");
    EXPECT_EQ(cond("Title"), "T"); // condition operands are lower-cased
    EXPECT_EQ(cond("  title\t"), "T");
    EXPECT_EQ(cond("empty"), "F");
    // An unknown name evaluates to itself, which is not empty.
    EXPECT_EQ(cond("nosuch"), "T");
    EXPECT_EQ(cond(""), "F");
    EXPECT_EQ(cond("\"\""), "F");
    EXPECT_EQ(cond("\"x\""), "T");
    EXPECT_EQ(cond("\""), "F");

    // Comparisons lower-case both sides before evaluating, literals included.
    EXPECT_EQ(cond("title=\"Hello\""), "F");
    EXPECT_EQ(cond("lower=\"GAMES\""), "T");
    EXPECT_EQ(cond("group=\"Games\""), "F");
    EXPECT_EQ(cond("group = \"games\""), "F"); // the value keeps its capital
    EXPECT_EQ(cond("lower = \"games"), "T");   // no closing quote
    EXPECT_EQ(cond("group=GROUP"), "T");
    EXPECT_EQ(cond("nosuch=\"nosuch\""), "T");
    EXPECT_EQ(cond("NoSuch=nosuch"), "T");
    EXPECT_EQ(cond("empty=\"\""), "T");
    EXPECT_EQ(cond("empty="), "T"); // "" names an unknown variable, which gives its own name
    EXPECT_EQ(cond("a=b=c"), "F");  // split at the first '='
    EXPECT_EQ(cond("lower=\"games\"=x"), "F");
}

TEST(TemplateConditions, ElseIfChainsTakeTheFirstTrueBranchOnly) {
    const std::string chain =
        "@if kind=\"a\"@A@elseif kind=\"b\"@B@elseif kind@C@else@D@endif@|@if kind=\"b\"@b@endif@";
    EXPECT_EQ(CompileAndRender(chain, {{"kind", "a"}}), "A|");
    EXPECT_EQ(CompileAndRender(chain, {{"kind", "b"}}), "B|b");
    EXPECT_EQ(CompileAndRender(chain, {{"kind", "z"}}), "C|");
    EXPECT_EQ(CompileAndRender(chain, {{"kind", ""}}), "D|");
    // Nested blocks inside branches that are not taken are skipped whole.
    const std::string nested = "@if a@[@if b@ab@else@a@endif@]@else@(@if b@b@else@-@endif@)@endif@";
    EXPECT_EQ(CompileAndRender(nested, {{"a", "1"}, {"b", "1"}}), "[ab]");
    EXPECT_EQ(CompileAndRender(nested, {{"a", "1"}, {"b", ""}}), "[a]");
    EXPECT_EQ(CompileAndRender(nested, {{"a", ""}, {"b", "1"}}), "(b)");
    EXPECT_EQ(CompileAndRender(nested, {{"a", ""}, {"b", ""}}), "(-)");
    // The order of else and elseif is not checked; a taken branch still skips the rest.
    EXPECT_EQ(CompileAndRender("@if a@1@else@2@elseif b@3@endif@", {{"a", ""}, {"b", "x"}}), "23");
    EXPECT_EQ(CompileAndRender("@if a@1@else@2@elseif b@3@endif@", {{"a", "x"}, {"b", "x"}}), "1");
}

TEST(TemplateLoops, BodyRunsOncePerRowAndNotAtAllWithoutRows) {
    CRowsTemplate t;
    ASSERT_TRUE(t.CompileText("<@loop@[@n@@if odd@*@endif@]@endloop@>@n@"));
    EXPECT_EQ(Render(t), "<>@n@");
    EXPECT_EQ(t.starts, 1);

    t.rows = {{{"n", "1"}, {"odd", "y"}}, {{"n", "2"}, {"odd", ""}}, {{"n", "3"}, {"odd", "y"}}};
    // The last row's values stay after the loop.
    EXPECT_EQ(Render(t), "<[1*][2][3*]>3");

    // The base class has no rows.
    EXPECT_EQ(CompileAndRender("a@loop@b@endloop@c"), "ac");
}

TEST(TemplateLoops, NestedLoopsUseTheSameObject) {
    CRowsTemplate t;
    ASSERT_TRUE(t.CompileText("@loop@@o@:@loop@@i@,@endloop@;@endloop@"));
    t.rows = {{{"o", "A"}}, {{"o", "B"}}};
    t.inner = {{{"i", "1"}}, {{"i", "2"}}, {{"i", "3"}}};
    EXPECT_EQ(Render(t), "A:1,2,3,;B:1,2,3,;");
    EXPECT_EQ(t.starts, 3); // the outer loop once, the inner loop once per outer row
    t.inner.clear();
    EXPECT_EQ(Render(t), "A:;B:;");
}

TEST_F(TemplateIncludes, IncludesAreCachedAtCompileTimeAndCopiedUncompiled) {
    Write("head.inc", "<h1>@title@</h1>");
    Write("sub/foot.inc", "foot");
    CTemplate t;
    ASSERT_TRUE(t.CompileText("@include head.inc@|@include /sub/foot.inc@|@include none.inc@|"));
    t.SetVariable("title", "T");
    EXPECT_EQ(Render(t), "<h1>@title@</h1>|foot||");

    // The cache is shared by every template and not refreshed: a later change of the file
    // or the appearance of a missing one is not seen.
    Write("head.inc", "changed");
    Write("none.inc", "now here");
    CTemplate other;
    ASSERT_TRUE(other.CompileText("@include head.inc@@include none.inc@"));
    EXPECT_EQ(Render(other), "<h1>@title@</h1>");
    EXPECT_EQ(Render(t), "<h1>@title@</h1>|foot||");

    // Once cleared, the files are read again; the compiled template keeps its content.
    CTemplate::ClearIncludeCache();
    CTemplate fresh;
    ASSERT_TRUE(fresh.CompileText("@include head.inc@@include none.inc@"));
    EXPECT_EQ(Render(fresh), "changednow here");
    EXPECT_EQ(Render(t), "<h1>@title@</h1>|foot||");

    // A directory or a device is not read as an include.
    std::filesystem::create_directory(m_dir.Path() / "adir");
    CTemplate odd;
    ASSERT_TRUE(odd.CompileText("[@include adir@]"));
    EXPECT_EQ(Render(odd), "[]");
}

TEST_F(TemplateIncludes, APipeIsNeitherWaitedForNorRead) {
    // Nobody writes to these pipes: opening one to read would wait for a writer for ever.
    ASSERT_EQ(::mkfifo((m_dir / "motd.txt").c_str(), 0600), 0);
    ASSERT_EQ(::mkfifo((m_dir / "page.tmpl").c_str(), 0600), 0);
    ASSERT_EQ(::mkfifo((m_dir / "7.asp").c_str(), 0600), 0);
    Write("default.asp", "DEFAULT");
    auto compiled = std::async(std::launch::async, [this] {
        CTemplate fromPipe;
        const bool compiledPipe = fromPipe.Compile(m_dir / "page.tmpl");
        CTemplate t;
        EXPECT_TRUE(t.CompileText("[@include motd.txt@|@includedef areaid,default.asp@]"));
        t.SetVariable("areaid", 7LL);
        return std::make_pair(compiledPipe, Render(t));
    });
    if (compiled.wait_for(std::chrono::seconds(5)) != std::future_status::ready) {
        ADD_FAILURE() << "the template waited on a pipe";
        // Let the reader go: a writer that comes and goes ends each wait.
        while (compiled.wait_for(std::chrono::milliseconds(50)) != std::future_status::ready) {
            for (const char* name : {"page.tmpl", "motd.txt", "7.asp"}) {
                ::close(::open((m_dir / name).c_str(), O_WRONLY | O_NONBLOCK));
            }
        }
    }
    const auto [compiledPipe, page] = compiled.get();
    EXPECT_FALSE(compiledPipe);
    EXPECT_EQ(page, "[|DEFAULT]");
}

TEST_F(TemplateIncludes, IncludeDefChoosesTheFileOfTheValueAndFallsBackToTheDefault) {
    Write("files/header/default.asp", "DEFAULT");
    Write("files/header/7.asp", "SEVEN");
    CTemplate t;
    ASSERT_TRUE(t.CompileText("[@includedef areaid,files/header/default.asp@]"));
    t.SetVariable("areaid", 7LL);
    EXPECT_EQ(Render(t), "[SEVEN]");
    t.SetVariable("areaid", 8LL);
    EXPECT_EQ(Render(t), "[DEFAULT]");

    // The value file is read afresh at every render; the default stays as cached.
    Write("files/header/8.asp", "EIGHT");
    Write("files/header/default.asp", "NEW DEFAULT");
    EXPECT_EQ(Render(t), "[EIGHT]");
    t.SetVariable("areaid", 9LL);
    EXPECT_EQ(Render(t), "[DEFAULT]");

    // The value is an operand: quoted literal, lower-cased variable name, or its own name.
    CTemplate literal;
    ASSERT_TRUE(literal.CompileText("@includedef \"7\" ,files/header/default.asp@"));
    EXPECT_EQ(Render(literal), "SEVEN");
    CTemplate named;
    ASSERT_TRUE(named.CompileText("@includedef  AreaId ,files/header/default.asp@"));
    named.SetVariable("areaid", 7LL);
    EXPECT_EQ(Render(named), "SEVEN");
    CTemplate unknown;
    ASSERT_TRUE(unknown.CompileText("@includedef seven,files/header/default.asp@"));
    Write("files/header/seven.asp", "BY NAME");
    EXPECT_EQ(Render(unknown), "BY NAME");

    // A default without a directory is used as the file name itself.
    Write("plain.asp", "PLAIN");
    CTemplate plain;
    ASSERT_TRUE(plain.CompileText("@includedef areaid,plain.asp@|@includedef areaid,gone.asp@"));
    plain.SetVariable("areaid", 7LL);
    EXPECT_EQ(Render(plain), "PLAIN|");
}

TEST_F(TemplateIncludes, IncludeDefValuesCannotLeaveTheIncludeDirectory) {
    Write("files/header/default.asp", "DEFAULT");
    Write("files/secret.asp", "SECRET");
    Write("files/header/a/b.asp", "NESTED");
    Write("files/header/x..y.asp", "DOTS");
    CTemplate t;
    ASSERT_TRUE(t.CompileText("@includedef areaid,files/header/default.asp@"));
    for (const char* value : {"../secret", "..", "a/b", "a\\b", "x..y", "/etc/passwd"}) {
        t.SetVariable("areaid", value);
        EXPECT_EQ(Render(t), "DEFAULT") << value;
    }
    t.SetVariable("areaid", std::string_view("secret\0", 7));
    EXPECT_EQ(Render(t), "DEFAULT");
}

TEST_F(TemplateIncludes, CompileAndRenderThroughFiles) {
    CTemplate t;
    EXPECT_FALSE(t.Compile(m_dir / "missing.tmpl"));
    EXPECT_FALSE(t.Compile(m_dir.Path().string()));
    Write("page.tmpl", "@if a@\n");
    EXPECT_THROW(t.Compile(m_dir / "page.tmpl"), CCompileException);

    // A long page reaches the descriptor whole, written in pieces.
    Write("page.tmpl", "@loop@" + std::string(1000, 'x') + "@n@\n@endloop@end");
    CRowsTemplate rows;
    ASSERT_TRUE(rows.Compile(m_dir / "page.tmpl"));
    for (int i = 0; i < 300; ++i) {
        rows.rows.push_back({{"n", std::to_string(i)}});
    }
    const int fd = ::open((m_dir / "out.asp").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    ASSERT_GE(fd, 0);
    EXPECT_TRUE(rows.Render(fd));
    EXPECT_EQ(::fcntl(fd, F_GETFD), -1); // closed by Render
    std::string expected;
    rows.Render(expected);
    const std::string written = ReadFile(m_dir.Path() / "out.asp");
    EXPECT_EQ(written.size(), expected.size());
    EXPECT_TRUE(written == expected);
    EXPECT_GT(written.size(), 300000u);

    // An invalid descriptor writes nothing; a descriptor that refuses writes fails.
    EXPECT_FALSE(rows.Render(-1));
    const int readOnly = ::open((m_dir / "out.asp").c_str(), O_RDONLY);
    ASSERT_GE(readOnly, 0);
    EXPECT_FALSE(rows.Render(readOnly));
    EXPECT_EQ(ReadFile(m_dir.Path() / "out.asp").size(), expected.size());
}

TEST(TemplateIncludeDirectory, TrailingSlashIsAddedOnce) {
    CTemplate::SetIncludeDirectory("/srv/www");
    EXPECT_EQ(CTemplate::GetIncludeDirectory(), "/srv/www/");
    CTemplate::SetIncludeDirectory("/srv/www/");
    EXPECT_EQ(CTemplate::GetIncludeDirectory(), "/srv/www/");
    CTemplate::SetIncludeDirectory("");
    EXPECT_EQ(CTemplate::GetIncludeDirectory(), "");
}

TEST(TemplateDates, ShortAndLongFormsInTheCLocale) {
    std::setlocale(LC_ALL, "C");
    EXPECT_EQ(FormatDate({1998, 3, 2}, EDateStyle::Short), "03/02/98");
    EXPECT_EQ(FormatDate({1998, 3, 2}, EDateStyle::Long), "Monday, March 02, 1998");
    EXPECT_EQ(FormatDate({2000, 2, 29}, EDateStyle::Long), "Tuesday, February 29, 2000");
    EXPECT_EQ(FormatDate({2009, 12, 31}, EDateStyle::Short), "12/31/09");
    EXPECT_EQ(FormatDate({2024, 1, 7}, EDateStyle::Long), "Sunday, January 07, 2024");
    // Missing and impossible dates give nothing rather than a wrong day.
    EXPECT_EQ(FormatDate({}, EDateStyle::Short), "");
    EXPECT_EQ(FormatDate({1999, 2, 29}, EDateStyle::Long), "");
    EXPECT_EQ(FormatDate({1999, 13, 1}, EDateStyle::Short), "");
    EXPECT_EQ(FormatDate({1999, 4, 31}, EDateStyle::Short), "");

    CTemplate t;
    ASSERT_TRUE(t.CompileText("@d@"));
    t.SetVariable("d", CDate{1998, 3, 2}, EDateStyle::Short);
    EXPECT_EQ(Render(t), "03/02/98");
}
