#pragma once

#include <QPointer>

#include "ui/CvCoreTask.h"
#include "ui/CvFormBase.h"

// A task that owns one window. Closing the task destroys the window; a
// window destroyed by other means leaves the task without one.
class CvTaskWindowed : public CvCoreTask {
public:
    using CvCoreTask::CvCoreTask;
    ~CvTaskWindowed() override;

    void Close() override;
    void Destroy() override { Close(); }
    bool IsOpen() const override { return !m_window.isNull(); }

    CvFormBase* Window() const { return m_window.data(); }

protected:
    // Takes the window over (deleted by Close).
    void SetWindow(CvFormBase* window);

private:
    QPointer<CvFormBase> m_window;
};
