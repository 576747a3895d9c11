#pragma once

#include <memory>
#include <string>

class CMainForm;
class CvDesktopServices;
class CvSingleInstance;

// The desktop program's process: one instance per user, the main window
// while it runs. A second start of the same user ends quietly; a start while
// the command-line station (corvane listen) holds the user's names says why
// it cannot run.
class CMessengerApp {
public:
    // After the QApplication exists; takes the services over.
    explicit CMessengerApp(std::unique_ptr<CvDesktopServices> services);
    ~CMessengerApp();

    // Takes the instance locks and, as the first instance, creates the main
    // window (which starts itself from the event loop). Always true.
    bool InitInstance();
    // Whether InitInstance made a main window; without one the event loop
    // is not run.
    bool HasMainWindow() const { return m_main != nullptr; }
    CMainForm* MainWindow() const { return m_main.get(); }
    // Why there is no main window ("" for a quiet second start).
    const std::string& Refusal() const { return m_refusal; }
    // Destroys the main window and releases the locks; the exit code.
    int ExitInstance();

private:
    std::unique_ptr<CvDesktopServices> m_services;
    std::unique_ptr<CvSingleInstance> m_instance;
    std::unique_ptr<CMainForm> m_main;
    std::string m_refusal;
};
