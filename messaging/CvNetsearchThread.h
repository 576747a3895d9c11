#pragma once

#include "app/CvThread.h"

class CvNetworkSearch;

// The thread of one network search: runs the search's body once.
class CvNetsearchThread : public CvThread {
public:
    explicit CvNetsearchThread(CvNetworkSearch& search) : m_search(search) {}
    ~CvNetsearchThread() override { StopAndWait(); }

protected:
    void Run() override;

private:
    CvNetworkSearch& m_search;
};
