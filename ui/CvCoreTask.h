#pragma once

#include <string>

// Something the main window started that has to be closed at shutdown (a
// write-message window, the about box).
class CvCoreTask {
public:
    explicit CvCoreTask(std::string name) : m_name(std::move(name)) {}
    virtual ~CvCoreTask() = default;
    CvCoreTask(const CvCoreTask&) = delete;
    CvCoreTask& operator=(const CvCoreTask&) = delete;

    virtual void Close() = 0;
    virtual void Destroy() = 0;
    // Whether the task still has something open.
    virtual bool IsOpen() const = 0;

    const std::string& Name() const { return m_name; }

private:
    std::string m_name;
};
