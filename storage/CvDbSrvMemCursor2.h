#pragma once

#include <vector>

#include "storage/CvDbQuery.h"
#include "storage/CvDbSrvAbstractCursor2.h"
#include "storage/CvDbValue.h"

class CvDatabase2;

// A cursor that runs its query once per Open and holds every row in memory;
// no statement stays open between calls. Made by CvDatabase2::OpenCursor,
// registered with the connection until destroyed.
class CvDbSrvMemCursor2 : public CvDbSrvAbstractCursor2 {
public:
    using Row = std::vector<CvDbValue>;

    CvDbSrvMemCursor2(CvDatabase2* database, CvDbQuery query, bool autoRefresh);
    ~CvDbSrvMemCursor2() override;
    CvDbSrvMemCursor2(const CvDbSrvMemCursor2&) = delete;
    CvDbSrvMemCursor2& operator=(const CvDbSrvMemCursor2&) = delete;

    void Open() override;
    bool Move(int offset, int origin) override;
    bool GetRecord(CvDbRecord& record) override;
    int GetPosition() override { return m_position; }
    bool IsBeforeFirst() override { return m_position < 0; }

    bool IsAutoRefresh() const { return m_autoRefresh; }
    const CvDbQuery& Query() const { return m_query; }
    const std::vector<Row>& Rows() const { return m_rows; }
    int RowCount() const { return static_cast<int>(m_rows.size()); }

private:
    friend class CvDatabase2;

    // Null once the connection is gone; the cursor then keeps its last rows.
    CvDatabase2* m_database;
    int m_position = -1;
    CvDbQuery m_query;
    bool m_autoRefresh;
    std::vector<Row> m_rows;
};
