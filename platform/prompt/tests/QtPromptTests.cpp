// The Qt prompt on the offscreen platform: the box shows the text, caption, icon and buttons
// asked for, and the button pressed is the answer.
#include "QtPrompt.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDialog>
#include <QMessageBox>
#include <QTimer>

#include <gtest/gtest.h>

using namespace prompt;

namespace {

QApplication& App() {
    static int argc = 1;
    static char name[] = "prompt_qt_tests";
    static char* argv[] = {name, nullptr};
    static QApplication application(argc, argv);
    return application;
}

// Presses `button` in the next message box shown, after noting what it shows.
void PressWhenShown(QMessageBox::StandardButton button, QString& title, QString& text,
                    QMessageBox::Icon& icon, int& buttonCount, QWidget** owner = nullptr) {
    QTimer::singleShot(0, [&, button, owner] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        ASSERT_NE(box, nullptr);
        if (owner != nullptr) {
            *owner = box->parentWidget();
        }
        title = box->windowTitle();
        text = box->text();
        icon = box->icon();
        buttonCount = static_cast<int>(box->buttons().size());
        box->button(button)->click();
    });
}

} // namespace

TEST(QtPrompt, ShowsTheMessageAndReturnsThePressedButton) {
    App();
    CQtPrompt qt;
    QString title, text;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    int buttons = 0;
    PressWhenShown(QMessageBox::No, title, text, icon, buttons);
    EXPECT_EQ(qt.Message("Delete & go on?", "Warning", EButtons::YesNoCancel, EIcon::Warning),
              EAnswer::No);
    EXPECT_EQ(title, "Warning");
    EXPECT_EQ(text, "Delete & go on?");
    EXPECT_EQ(icon, QMessageBox::Warning);
    EXPECT_EQ(buttons, 3);

    PressWhenShown(QMessageBox::Ok, title, text, icon, buttons);
    EXPECT_EQ(qt.Message("Invalid e-mail address.", "Dorvale Explorer", EButtons::Ok, EIcon::Error),
              EAnswer::Ok);
    EXPECT_EQ(icon, QMessageBox::Critical);
    EXPECT_EQ(buttons, 1);

    EXPECT_EQ(QtFilter("Text Files (.txt)|*.txt|All Files (*.*)|*.*||"),
              "Text Files (.txt) (*.txt);;All Files (*.*) (*)");
}

TEST(QtPrompt, ABoxAskedFromADialogIsOwnedByTheDialog) {
    App();
    QWidget window;
    CQtPrompt qt(&window);
    QDialog dialog(&window);
    QString title, text;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    int buttons = 0;
    QWidget* owner = nullptr;
    // The dialog is up and modal when its button asks.
    QTimer::singleShot(0, [&] {
        PressWhenShown(QMessageBox::Yes, title, text, icon, buttons, &owner);
        EXPECT_EQ(qt.Message("Copy it?", "Question", EButtons::YesNo, EIcon::Question),
                  EAnswer::Yes);
        dialog.accept();
    });
    dialog.exec();
    EXPECT_EQ(owner, &dialog);
    // With no dialog up, the window the prompt was given.
    PressWhenShown(QMessageBox::Ok, title, text, icon, buttons, &owner);
    qt.Message("Done.", "Information", EButtons::Ok, EIcon::Information);
    EXPECT_EQ(owner, &window);
}
