#pragma once
// A visitor for the wizard that the upload control shows from its own event loop: the tests'
// Qt application (offscreen), and the clicks and typing of one upload, made from timers.

#include <QApplication>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>

#include <cstdlib>
#include <string>

namespace visitortest {

inline QApplication& Application() {
    static int argc = 1;
    static char name[] = "liftwell_tests";
    static char* argv[] = {name, nullptr};
    static QApplication* application = [] {
        setenv("QT_QPA_PLATFORM", "offscreen", 1);
        return new QApplication(argc, argv);
    }();
    return *application;
}

// Drives the wizard the control shows, from the event loop it runs, as a visitor would.
class CVisitor {
public:
    std::string file;
    std::string typedPassword;
    bool done = false;

    void Start() { QTimer::singleShot(50, [this] { Step(); }); }

private:
    QWidget* Wizard() {
        for (QWidget* widget : QApplication::topLevelWidgets()) {
            if (widget->objectName() == "uploadWizard" && widget->isVisible()) {
                return widget;
            }
        }
        return nullptr;
    }
    void Click(QWidget* wizard, const char* name) {
        if (auto* button = wizard->findChild<QPushButton*>(name)) {
            button->click();
        }
    }
    void Type(QWidget* wizard, const char* name, const std::string& text) {
        if (auto* edit = wizard->findChild<QLineEdit*>(name)) {
            edit->setText(QString::fromStdString(text));
        }
    }
    void Step() {
        QWidget* wizard = Wizard();
        if (!wizard) {
            QTimer::singleShot(50, [this] { Step(); });
            return;
        }
        if (m_step == 0) {
            Click(wizard, "nextButton");
            Type(wizard, "fileEdit", file);
            Click(wizard, "nextButton");
            Type(wizard, "emailEdit", "visitor@example.org");
            Type(wizard, "titleEdit", "Linked upload");
            Click(wizard, "nextButton");
            Type(wizard, "briefEdit", "Sent from the site's link");
            Click(wizard, "nextButton");
            Type(wizard, "passwordEdit", typedPassword);
            Click(wizard, "nextButton");
            m_step = 1;
        }
        auto* finish = wizard->findChild<QPushButton*>("finishButton");
        if (finish && finish->isEnabled()) {
            done = true;
            finish->click();
            return;
        }
        QTimer::singleShot(50, [this] { Step(); });
    }

    int m_step = 0;
};

} // namespace visitortest
