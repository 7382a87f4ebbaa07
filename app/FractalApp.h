#pragma once
// The application: where the settings live, the main window and the first
// document, and the commands that belong to the whole program.

#include <QStringList>

#include <functional>
#include <memory>

class CMainFrame;
class QIcon;

// The program's own icon, at every size it was drawn at.
QIcon ApplicationIcon();

class CFractalApp {
public:
    CFractalApp();
    ~CFractalApp();

    // Start-up in order: settings, the main window, the desktop's knowledge
    // of ".frc" files, then the command line: the files it names, or one
    // Mandelbrot document when it names none. `args` excludes the program
    // name. False when the main window cannot be made.
    bool InitInstance(const QStringList& args);

    CMainFrame* MainFrame() const { return m_mainFrame.get(); }

    // Tests keep the desktop files of the user's account untouched.
    bool m_registerWithDesktop = true;
    // The documents it starts with show their pictures at once; tests may
    // skip it.
    bool m_buildAtStart = true;
    // Given to the main window: how failures reach the user.
    std::function<void(const QString& title, const QString& text)> m_complain;

private:
    std::unique_ptr<CMainFrame> m_mainFrame;
};
