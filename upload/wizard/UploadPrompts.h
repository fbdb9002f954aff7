#pragma once
// What the upload wizard asks of the person outside its own pages: a message to acknowledge
// and a file to choose. The wizard knows only this interface; the Qt implementation shows
// real dialogs, tests answer from a script.

#include <string>

class QWidget;

namespace liftwell {

class IUploadPrompts {
public:
    // A message with an OK button.
    virtual void Message(const std::string& text, const std::string& caption) = 0;
    // An open-file dialog. `filter` is written "Description|pattern|...||". False when the
    // person cancels.
    virtual bool ChooseFile(const std::string& title, const std::string& filter,
                            std::string& path) = 0;

protected:
    ~IUploadPrompts() = default;
};

// Message boxes and file dialogs of Qt, owned by `parent`.
class CQtUploadPrompts final : public IUploadPrompts {
public:
    explicit CQtUploadPrompts(QWidget* parent = nullptr) : m_parent(parent) {}
    void SetParent(QWidget* parent) { m_parent = parent; }

    void Message(const std::string& text, const std::string& caption) override;
    bool ChooseFile(const std::string& title, const std::string& filter,
                    std::string& path) override;

private:
    QWidget* m_parent;
};

// A filter written "Description|pattern;pattern|...||" as Qt's name filters ("Description
// (pattern pattern)" joined by ";;"), with "*.*" meaning every file (a name needs no dot here).
std::string QtNameFilters(const std::string& filter);

} // namespace liftwell
