#pragma once
// The dorvale-explorer program: its command line, the start-up checks and the main window.

#include "AdminContext.h"

#include <memory>
#include <string>

class CMainFrame;

class CExplorerApp {
public:
    explicit CExplorerApp(prompt::IPrompt& prompt);
    ~CExplorerApp();

    // Start-up: reads the settings, opens the file-area store (refusing while the setup
    // program holds it, or when it holds nothing), connects to the catalogue and shows the
    // main window. False when the program must end.
    bool InitInstance(const std::string& dataSource);

    CAdminContext& Context() { return m_context; }
    CMainFrame* MainFrame() const { return m_frame.get(); }

private:
    CAdminContext m_context;
    std::unique_ptr<CMainFrame> m_frame;
};

// Whether a window can be shown: a display, or a Qt platform chosen explicitly.
bool HasDisplay();

// The whole program; returns its exit code.
int ExplorerMain(int argc, char** argv);
