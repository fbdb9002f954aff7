// Compiles arbitrary bytes as a template and renders it with a few variables and rows.
#include "Template.h"

#include <cstddef>
#include <cstdint>
#include <string>

namespace {

// A page with a bounded number of rows, so nested loops terminate and output stays small.
class CFuzzPage : public CTemplate {
public:
    void Reset() { m_rowsLeft = 12; }
    void LoopStart() override {}
    bool LoopNext() override {
        if (m_rowsLeft == 0) {
            return false;
        }
        --m_rowsLeft;
        SetVariable("row", static_cast<long long>(m_rowsLeft));
        SetVariable("coloreven", m_rowsLeft % 2 ? "bgcolor=\"#e8e8e8\"" : "");
        return true;
    }

private:
    int m_rowsLeft = 0;
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    // A directory that does not exist: no include name can reach a real file.
    CTemplate::SetIncludeDirectory("/nonexistent-dorvale-template-fuzz");
    CTemplate::ClearIncludeCache();
    CFuzzPage page;
    page.SetVariable("title", "A <Title>");
    page.SetVariable("group", "Games");
    page.SetVariable("areaid", 7LL);
    page.SetVariable("empty", "");
    try {
        if (!page.CompileText(std::string(reinterpret_cast<const char*>(data), size))) {
            return 0;
        }
    } catch (const CCompileException& e) {
        if (e.GetLine() < 1 || e.GetMessage().empty()) {
            __builtin_trap();
        }
        return 0;
    }
    page.Reset();
    std::string out;
    page.Render(out);
    // Without loops nothing is written twice; loops repeat bodies a bounded number of times.
    if (out.size() > 64 * (size + 64) * 13) {
        __builtin_trap();
    }
    return 0;
}
