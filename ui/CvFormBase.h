#pragma once

#include <QWidget>

class CvCoreTask;

// A top-level window of the program. It knows the task that owns it (none
// for the windows the main window keeps itself); destroying it removes it
// from the form registry.
class CvFormBase : public QWidget {
    Q_OBJECT
public:
    explicit CvFormBase(QWidget* parent = nullptr, Qt::WindowFlags flags = Qt::Window);
    ~CvFormBase() override;

    CvCoreTask* Task() const { return m_task; }
    void SetTask(CvCoreTask* task) { m_task = task; }

private:
    CvCoreTask* m_task = nullptr;
};
