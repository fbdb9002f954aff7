#pragma once
// The page template language: a template is page text in which directives and variable
// references are set off by `@`. It is compiled once into a flat instruction list and then
// rendered once per page with the variables set for that page.

#include <cstdint>
#include <exception>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

// A compile error: the 1-based line and the message. Thrown by value by the compiler and
// caught by its caller.
class CCompileException : public std::exception {
public:
    CCompileException(int line, std::string message)
        : m_nLine(line), m_strMessage(std::move(message)) {}

    int GetLine() const { return m_nLine; }
    const std::string& GetMessage() const { return m_strMessage; }
    const char* what() const noexcept override { return m_strMessage.c_str(); }

private:
    int m_nLine;
    std::string m_strMessage;
};

// A calendar date as the catalogue keeps it. A year of 0 is a missing (null) date.
struct CDate {
    int year = 0;
    int month = 1; // 1 to 12
    int day = 1;   // 1 to 31
};

enum class EDateStyle {
    Short, // "%m/%d/%y", as 03/02/98
    Long,  // "%A, %B %d, %Y", as Monday, March 02, 1998 (English names in any locale)
};

// The date in the given style; empty for a missing or impossible date.
std::string FormatDate(const CDate& date, EDateStyle style);

// A compiled template. Page kinds derive from it and override LoopStart/LoopNext to supply
// the rows of `@loop@`; the base class has no rows.
class CTemplate {
public:
    enum class EKind : std::uint8_t {
        Text,
        Variable,
        If,
        ElseIf,
        Else,
        EndIf,
        Loop,
        EndLoop,
        Include,
        IncludeDef,
    };

    struct CInstruction {
        EKind kind = EKind::Text;
        std::uint32_t offset = 0; // Text: into the source buffer
        std::uint32_t length = 0;
        std::int32_t jump = -1; // index of the next branch, the block end or the loop partner
        std::int32_t slot = -1; // Variable: variable slot; If, ElseIf, IncludeDef: condition
        std::string name;       // variable name, condition text, include name or value expression
        std::string file;       // IncludeDef: the default file
        std::shared_ptr<const std::string> content; // Include, IncludeDef: cached file content
    };

    CTemplate();
    virtual ~CTemplate();
    CTemplate(const CTemplate&) = delete;
    CTemplate& operator=(const CTemplate&) = delete;

    // Rows of `@loop@`: LoopStart when the loop is reached, then LoopNext before every pass
    // of its body; LoopNext returns true when it has made a further row current and set its
    // variables.
    virtual void LoopStart();
    virtual bool LoopNext();

    // The directory that include names are relative to, for every template of the process.
    // A trailing '/' is appended when missing.
    static void SetIncludeDirectory(std::string_view path);
    static std::string GetIncludeDirectory();
    // Forgets every cached include; templates compiled before keep what they hold.
    static void ClearIncludeCache();

    // Reads and compiles the template file. False when it cannot be read; throws
    // CCompileException for a template in error.
    bool Compile(const std::string& path);
    // Compiles template text held in memory; false when it is too large (4 GiB or more).
    // Throws CCompileException.
    bool CompileText(std::string source);

    // Appends the page to `out`.
    void Render(std::string& out);
    // Writes the page to the descriptor and closes it. An invalid descriptor writes nothing.
    // False when the page could not be written whole.
    bool Render(int fd);

    // Variables. Setting an existing name replaces its value.
    void SetVariable(std::string_view name, std::string_view value);
    void SetVariable(std::string_view name, long long value);
    void SetVariable(std::string_view name, const CDate& date, EDateStyle style);
    // Whether the name has been set, and its value (empty when not).
    bool HasVariable(std::string_view name) const;
    std::string GetVariable(std::string_view name) const;

    const std::vector<CInstruction>& GetInstructions() const { return m_instructions; }
    // Whether a render reads files (an includedef's file is read each time).
    bool ReadsFilesWhenRendered() const { return m_readsFiles; }
    // The text last compiled, for compiling the same template into another object.
    const std::string& GetSource() const { return m_source; }

protected:
    // Called at the start of every render; page kinds compute variables derived from their
    // state here.
    virtual void PrepareRender();

    // Fast access for page kinds: a slot stands for one variable name for the life of the
    // object, so per-row code sets values without looking names up.
    int GetSlot(std::string_view name);
    void SetSlot(int slot, std::string_view value);
    void SetSlot(int slot, long long value);
    // The slot's value for in-place building; marks the variable set.
    std::string& EditSlot(int slot);

private:
    struct CSlot {
        std::string name;
        std::string value;
        bool set = false;
    };
    struct COperand {
        bool literal = false;
        int slot = -1;    // variable operand
        std::string text; // the literal, or the (lower-case) name an unknown variable gives
    };
    struct CCondition {
        bool compare = false;
        COperand left;
        COperand right;
    };
    struct CStringHash {
        using is_transparent = void;
        std::size_t operator()(std::string_view s) const noexcept {
            return std::hash<std::string_view>{}(s);
        }
    };

    void CompileSource();
    void AddDirective(std::string_view content, int line,
                      std::vector<std::pair<bool, int>>& blocks);
    int AddCondition(std::string_view text);
    COperand MakeOperand(std::string_view text);
    const std::string& EvaluateOperand(const COperand& operand) const;
    bool Evaluate(int condition) const;
    void RenderIncludeDef(const CInstruction& instruction, std::string& out);
    void RenderTo(std::string& out, int fd, bool& ok);

    std::string m_source;
    std::string m_includeDirectory; // as it was when the template was compiled
    bool m_readsFiles = false;      // an includedef among the instructions
    std::vector<CInstruction> m_instructions;
    std::vector<CCondition> m_conditions;
    std::vector<CSlot> m_slots;
    std::unordered_map<std::string, int, CStringHash, std::equal_to<>> m_slotByName;
    std::string m_buffer; // reused between renders to a descriptor
    std::string m_scratch;
};
