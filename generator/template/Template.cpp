#include "Template.h"

#include "Fd.h"
#include "Text.h"

#include <chrono>
#include <climits>
#include <cstdio>
#include <ctime>
#include <fcntl.h>
#include <locale.h>
#include <mutex>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr std::size_t MAX_BLOCKS = 10;
// Pages are written to their descriptor in pieces of about this size.
constexpr std::size_t FLUSH_SIZE = 64 * 1024;

// The include directory and the include cache are shared by every template of the process.
struct CIncludeState {
    std::mutex mutex;
    std::string directory;
    std::unordered_map<std::string, std::shared_ptr<const std::string>> cache;
};

CIncludeState& IncludeState() {
    static CIncludeState state;
    return state;
}

// Reads a whole regular file. Devices, pipes and directories are refused so that a stray
// include name cannot block or flood the generator. The open does not wait (a pipe without
// a writer would hold it for ever); the file is known to be regular before it is read.
bool ReadRegularFile(const std::string& path, std::string& out) {
    out.clear();
    const base::CFd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY));
    struct stat st {};
    if (!fd.IsOpen() || ::fstat(fd.Get(), &st) != 0 || !S_ISREG(st.st_mode) ||
        ::fcntl(fd.Get(), F_SETFL, ::fcntl(fd.Get(), F_GETFL) & ~O_NONBLOCK) != 0) {
        return false;
    }
    out.reserve(static_cast<std::size_t>(st.st_size));
    if (!base::ReadAll(fd.Get(), out)) {
        out.clear();
        return false;
    }
    return true;
}

// Include names are relative to the include directory; one leading '/' is skipped.
std::string IncludePath(const std::string& directory, std::string_view name) {
    if (!name.empty() && name.front() == '/') {
        name.remove_prefix(1);
    }
    std::string path = directory;
    path.append(name);
    return path;
}

// The cached content of an include name, read on first use; an unreadable file is cached
// as empty content.
std::shared_ptr<const std::string> CachedInclude(const std::string& name) {
    CIncludeState& state = IncludeState();
    std::lock_guard lock(state.mutex);
    const auto found = state.cache.find(name);
    if (found != state.cache.end()) {
        return found->second;
    }
    auto content = std::make_shared<std::string>();
    ReadRegularFile(IncludePath(state.directory, name), *content);
    std::shared_ptr<const std::string> shared = std::move(content);
    state.cache.emplace(name, shared);
    return shared;
}

bool IsSpace(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

std::string_view Trim(std::string_view text) {
    while (!text.empty() && IsSpace(text.front())) {
        text.remove_prefix(1);
    }
    while (!text.empty() && IsSpace(text.back())) {
        text.remove_suffix(1);
    }
    return text;
}

// A value from a catalogue or a visitor must not lead an include outside its directory.
bool IsSafeFileNamePart(std::string_view value) {
    return value.find('/') == std::string_view::npos &&
           value.find('\\') == std::string_view::npos &&
           value.find("..") == std::string_view::npos && value.find('\0') == std::string_view::npos;
}

} // namespace

std::string FormatDate(const CDate& date, EDateStyle style) {
    using namespace std::chrono;
    if (date.year < 1 || date.year > 9999 || date.month < 1 || date.month > 12 || date.day < 1 ||
        date.day > 31) {
        return {};
    }
    const year_month_day ymd{year{date.year}, month{static_cast<unsigned>(date.month)},
                             day{static_cast<unsigned>(date.day)}};
    if (!ymd.ok()) {
        return {};
    }
    if (style == EDateStyle::Short) {
        // Digits only, the same in every locale: no need for strftime on the per-row path.
        const int yy = date.year % 100;
        const char text[8] = {
            static_cast<char>('0' + date.month / 10), static_cast<char>('0' + date.month % 10), '/',
            static_cast<char>('0' + date.day / 10),   static_cast<char>('0' + date.day % 10),   '/',
            static_cast<char>('0' + yy / 10),         static_cast<char>('0' + yy % 10)};
        return std::string(text, sizeof text);
    }
    std::tm tm{};
    tm.tm_year = date.year - 1900;
    tm.tm_mon = date.month - 1;
    tm.tm_mday = date.day;
    tm.tm_wday = static_cast<int>(weekday{sys_days{ymd}}.c_encoding());
    tm.tm_yday =
        static_cast<int>((sys_days{ymd} - sys_days{year{date.year} / January / 1}).count());
    // English names whatever the process's locale: the page belongs to the site.
    static const locale_t ENGLISH = newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(0));
    char buffer[256];
    const std::size_t n = strftime_l(buffer, sizeof buffer, "%A, %B %d, %Y", &tm, ENGLISH);
    return std::string(buffer, n);
}

CTemplate::CTemplate() = default;
CTemplate::~CTemplate() = default;

void CTemplate::LoopStart() {}
bool CTemplate::LoopNext() {
    return false;
}
void CTemplate::PrepareRender() {}

void CTemplate::SetIncludeDirectory(std::string_view path) {
    CIncludeState& state = IncludeState();
    std::lock_guard lock(state.mutex);
    state.directory.assign(path);
    if (!state.directory.empty() && state.directory.back() != '/') {
        state.directory.push_back('/');
    }
}

std::string CTemplate::GetIncludeDirectory() {
    CIncludeState& state = IncludeState();
    std::lock_guard lock(state.mutex);
    return state.directory;
}

void CTemplate::ClearIncludeCache() {
    CIncludeState& state = IncludeState();
    std::lock_guard lock(state.mutex);
    state.cache.clear();
}

bool CTemplate::Compile(const std::string& path) {
    std::string source;
    if (!ReadRegularFile(path, source)) {
        return false;
    }
    return CompileText(std::move(source));
}

bool CTemplate::CompileText(std::string source) {
    // Text instructions address the source with 32-bit offsets.
    if (source.size() >= UINT32_MAX) {
        return false;
    }
    m_source = std::move(source);
    m_instructions.clear();
    m_conditions.clear();
    m_readsFiles = false;
    m_includeDirectory = GetIncludeDirectory();
    CompileSource();
    return true;
}

void CTemplate::CompileSource() {
    const std::string_view src = m_source;
    const std::size_t npos = std::string_view::npos;
    // Open blocks: (is a loop, index of the last branch or of the Loop).
    std::vector<std::pair<bool, int>> blocks;
    int line = 1;
    std::size_t opener = npos;
    std::size_t textStart = 0;

    for (std::size_t i = 0; i < src.size(); ++i) {
        const char c = src[i];
        if (c == '\n') {
            ++line;
            opener = npos;
        } else if (c == '\r') {
            opener = npos;
        } else if (c == '@') {
            if (opener == npos || i == opener + 1) {
                // "@@": the first '@' stays text and the second may open a directive.
                opener = i;
                continue;
            }
            if (opener > textStart) {
                CInstruction text;
                text.kind = EKind::Text;
                text.offset = static_cast<std::uint32_t>(textStart);
                text.length = static_cast<std::uint32_t>(opener - textStart);
                m_instructions.push_back(std::move(text));
            }
            const std::string_view content = src.substr(opener + 1, i - opener - 1);
            textStart = i + 1;
            opener = npos;
            AddDirective(content, line, blocks);
        }
    }

    CInstruction rest;
    rest.kind = EKind::Text;
    rest.offset = static_cast<std::uint32_t>(textStart);
    rest.length = static_cast<std::uint32_t>(src.size() - textStart);
    m_instructions.push_back(std::move(rest));

    if (!blocks.empty()) {
        // The last line is the one the final line feed ends, not an empty one after it.
        const int lastLine = !src.empty() && src.back() == '\n' && line > 1 ? line - 1 : line;
        throw CCompileException(lastLine,
                                blocks.back().first ? "endloop expected" : "endif expected");
    }
}

void CTemplate::AddDirective(std::string_view content, int line,
                             std::vector<std::pair<bool, int>>& blocks) {
    const int index = static_cast<int>(m_instructions.size());
    CInstruction in;
    if (content.starts_with("include ")) {
        in.kind = EKind::Include;
        in.name.assign(content.substr(8));
        in.content = CachedInclude(in.name);
    } else if (content.starts_with("includedef ")) {
        const std::string_view rest = content.substr(11);
        const std::size_t comma = rest.find(',');
        if (comma == std::string_view::npos) {
            // The message as template authors have always met it, misspelling included.
            throw CCompileException(line, "includedef expectsts two parameters");
        }
        in.kind = EKind::IncludeDef;
        m_readsFiles = true;
        in.name.assign(rest.substr(0, comma));
        in.file.assign(rest.substr(comma + 1));
        in.content = CachedInclude(in.file);
        CCondition value;
        value.left = MakeOperand(in.name);
        in.slot = static_cast<int>(m_conditions.size());
        m_conditions.push_back(std::move(value));
    } else if (content.starts_with("if ")) {
        if (blocks.size() >= MAX_BLOCKS) {
            throw CCompileException(line, "Too many levels of nesting");
        }
        in.kind = EKind::If;
        in.name.assign(content.substr(3));
        in.slot = AddCondition(in.name);
        blocks.emplace_back(false, index);
    } else if (content.starts_with("elseif ") || content == "else" || content == "endif") {
        if (blocks.empty() || blocks.back().first) {
            throw CCompileException(line, "if expected");
        }
        m_instructions[static_cast<std::size_t>(blocks.back().second)].jump = index;
        if (content == "endif") {
            in.kind = EKind::EndIf;
            blocks.pop_back();
        } else {
            if (content == "else") {
                in.kind = EKind::Else;
            } else {
                in.kind = EKind::ElseIf;
                in.name.assign(content.substr(7));
                in.slot = AddCondition(in.name);
            }
            blocks.back().second = index;
        }
    } else if (content == "loop") {
        if (blocks.size() >= MAX_BLOCKS) {
            throw CCompileException(line, "Too many levels of nesting");
        }
        in.kind = EKind::Loop;
        blocks.emplace_back(true, index);
    } else if (content == "endloop") {
        if (blocks.empty() || !blocks.back().first) {
            throw CCompileException(line, "loop expected");
        }
        const int loop = blocks.back().second;
        in.kind = EKind::EndLoop;
        in.jump = loop;
        m_instructions[static_cast<std::size_t>(loop)].jump = index;
        blocks.pop_back();
    } else {
        in.kind = EKind::Variable;
        in.name.assign(content);
        in.slot = GetSlot(content);
    }
    m_instructions.push_back(std::move(in));
}

int CTemplate::AddCondition(std::string_view text) {
    CCondition condition;
    const std::size_t equals = text.find('=');
    if (equals == std::string_view::npos) {
        condition.left = MakeOperand(text);
    } else {
        // Both sides are lower-cased first, quoted literals included.
        condition.compare = true;
        condition.left = MakeOperand(base::LowerAscii(text.substr(0, equals)));
        condition.right = MakeOperand(base::LowerAscii(text.substr(equals + 1)));
    }
    m_conditions.push_back(std::move(condition));
    return static_cast<int>(m_conditions.size() - 1);
}

CTemplate::COperand CTemplate::MakeOperand(std::string_view text) {
    COperand operand;
    text = Trim(text);
    if (!text.empty() && text.front() == '"') {
        text.remove_prefix(1);
        if (!text.empty() && text.back() == '"') {
            text.remove_suffix(1);
        }
        operand.literal = true;
        operand.text.assign(text);
    } else {
        operand.text = base::LowerAscii(text);
        operand.slot = GetSlot(operand.text);
    }
    return operand;
}

const std::string& CTemplate::EvaluateOperand(const COperand& operand) const {
    if (!operand.literal) {
        const CSlot& slot = m_slots[static_cast<std::size_t>(operand.slot)];
        if (slot.set) {
            return slot.value;
        }
    }
    return operand.text;
}

bool CTemplate::Evaluate(int condition) const {
    const CCondition& c = m_conditions[static_cast<std::size_t>(condition)];
    if (!c.compare) {
        return !EvaluateOperand(c.left).empty();
    }
    return EvaluateOperand(c.left) == EvaluateOperand(c.right);
}

void CTemplate::RenderIncludeDef(const CInstruction& in, std::string& out) {
    const std::string& value =
        EvaluateOperand(m_conditions[static_cast<std::size_t>(in.slot)].left);
    const std::string& file = in.file;
    const std::size_t slash = file.rfind('/');
    const std::size_t dot = file.rfind('.');
    std::string name;
    if (slash != std::string::npos && dot != std::string::npos && dot > slash) {
        if (!IsSafeFileNamePart(value)) {
            out += *in.content;
            return;
        }
        name.reserve(file.size() + value.size());
        name.append(file, 0, slash + 1).append(value).append(file, dot, std::string::npos);
    } else {
        name = file;
    }
    if (ReadRegularFile(IncludePath(m_includeDirectory, name), m_scratch)) {
        out += m_scratch;
    } else {
        out += *in.content;
    }
}

void CTemplate::Render(std::string& out) {
    bool ok = true;
    RenderTo(out, -1, ok);
}

bool CTemplate::Render(int fd) {
    if (fd < 0) {
        return false;
    }
    m_buffer.clear();
    bool ok = true;
    RenderTo(m_buffer, fd, ok);
    if (ok && !m_buffer.empty()) {
        ok = base::WriteAll(fd, m_buffer);
    }
    m_buffer.clear();
    if (::close(fd) != 0) {
        ok = false;
    }
    return ok;
}

void CTemplate::RenderTo(std::string& out, int fd, bool& ok) {
    PrepareRender();
    const std::size_t count = m_instructions.size();
    const char* const source = m_source.data();
    bool taken[MAX_BLOCKS + 1];
    std::size_t depth = 0;
    std::size_t pc = 0;
    while (pc < count) {
        const CInstruction& in = m_instructions[pc];
        switch (in.kind) {
        case EKind::Text:
            out.append(source + in.offset, in.length);
            ++pc;
            break;
        case EKind::Variable: {
            const CSlot& slot = m_slots[static_cast<std::size_t>(in.slot)];
            if (slot.set) {
                out += slot.value;
            } else {
                // Unknown references stay visible in the page.
                out += '@';
                out += in.name;
                out += '@';
            }
            ++pc;
            break;
        }
        case EKind::If:
            taken[depth] = Evaluate(in.slot);
            pc = taken[depth++] ? pc + 1 : static_cast<std::size_t>(in.jump);
            break;
        case EKind::ElseIf:
            if (taken[depth - 1]) {
                pc = static_cast<std::size_t>(in.jump);
            } else if (Evaluate(in.slot)) {
                taken[depth - 1] = true;
                ++pc;
            } else {
                pc = static_cast<std::size_t>(in.jump);
            }
            break;
        case EKind::Else:
            pc = taken[depth - 1] ? static_cast<std::size_t>(in.jump) : pc + 1;
            break;
        case EKind::EndIf:
            --depth;
            ++pc;
            break;
        case EKind::Loop:
            LoopStart();
            pc = static_cast<std::size_t>(in.jump);
            break;
        case EKind::EndLoop:
            pc = LoopNext() ? static_cast<std::size_t>(in.jump) + 1 : pc + 1;
            break;
        case EKind::Include:
            out += *in.content;
            ++pc;
            break;
        case EKind::IncludeDef:
            RenderIncludeDef(in, out);
            ++pc;
            break;
        }
        if (fd >= 0 && out.size() >= FLUSH_SIZE) {
            if (ok) {
                ok = base::WriteAll(fd, out);
            }
            out.clear();
        }
    }
}

int CTemplate::GetSlot(std::string_view name) {
    const auto found = m_slotByName.find(name);
    if (found != m_slotByName.end()) {
        return found->second;
    }
    const int slot = static_cast<int>(m_slots.size());
    m_slots.push_back(CSlot{std::string(name), {}, false});
    m_slotByName.emplace(std::string(name), slot);
    return slot;
}

void CTemplate::SetSlot(int slot, std::string_view value) {
    CSlot& s = m_slots[static_cast<std::size_t>(slot)];
    s.value.assign(value);
    s.set = true;
}

void CTemplate::SetSlot(int slot, long long value) {
    char buffer[24];
    const int n = std::snprintf(buffer, sizeof buffer, "%lld", value);
    SetSlot(slot, std::string_view(buffer, static_cast<std::size_t>(n)));
}

std::string& CTemplate::EditSlot(int slot) {
    CSlot& s = m_slots[static_cast<std::size_t>(slot)];
    s.set = true;
    return s.value;
}

void CTemplate::SetVariable(std::string_view name, std::string_view value) {
    SetSlot(GetSlot(name), value);
}

void CTemplate::SetVariable(std::string_view name, long long value) {
    SetSlot(GetSlot(name), value);
}

void CTemplate::SetVariable(std::string_view name, const CDate& date, EDateStyle style) {
    SetSlot(GetSlot(name), FormatDate(date, style));
}

bool CTemplate::HasVariable(std::string_view name) const {
    const auto found = m_slotByName.find(name);
    return found != m_slotByName.end() && m_slots[static_cast<std::size_t>(found->second)].set;
}

std::string CTemplate::GetVariable(std::string_view name) const {
    const auto found = m_slotByName.find(name);
    if (found == m_slotByName.end()) {
        return {};
    }
    return m_slots[static_cast<std::size_t>(found->second)].value;
}
