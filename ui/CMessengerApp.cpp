#include "ui/CMessengerApp.h"

#include "app/CvSingleInstance.h"
#include "platform/CvStationNames.h"
#include "ui/CMainForm.h"
#include "ui/CvDesktopServices.h"

CMessengerApp::CMessengerApp(std::unique_ptr<CvDesktopServices> services)
    : m_services(std::move(services)) {}

CMessengerApp::~CMessengerApp() {
    ExitInstance();
}

bool CMessengerApp::InitInstance() {
    m_instance = std::make_unique<CvSingleInstance>();
    const std::string user = CvStationNames::UserName();
    if (m_instance->Start(user, CvSingleInstance::Role::Desktop)) {
        m_main = std::make_unique<CMainForm>(*m_services);
    } else if (!m_instance->DesktopRuns()) {
        m_refusal = "Corvane Messenger cannot start: a command-line station of user " + user +
                    " (corvane listen) runs and owns the user's names and the NetBIOS ports. "
                    "Stop it (Ctrl-C where it runs), then start Corvane Messenger again.";
    }
    return true;
}

int CMessengerApp::ExitInstance() {
    m_main.reset();
    m_instance.reset();
    return 0;
}
