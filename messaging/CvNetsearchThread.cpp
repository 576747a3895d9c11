#include "messaging/CvNetsearchThread.h"

#include "messaging/CvNetworkSearch.h"

void CvNetsearchThread::Run() {
    m_search.Search(*this);
}
