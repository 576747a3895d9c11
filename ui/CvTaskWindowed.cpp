#include "ui/CvTaskWindowed.h"

CvTaskWindowed::~CvTaskWindowed() {
    Close();
}

void CvTaskWindowed::SetWindow(CvFormBase* window) {
    m_window = window;
    window->SetTask(this);
}

void CvTaskWindowed::Close() {
    if (CvFormBase* window = m_window.data()) {
        window->SetTask(nullptr);
        m_window = nullptr;
        delete window;
    }
}
