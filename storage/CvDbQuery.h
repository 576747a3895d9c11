#pragma once

#include <functional>
#include <string>
#include <vector>

#include "storage/CvDbRecord.h"
#include "storage/CvDbValue.h"

class CvDatabase2;

// What a cursor runs. A non-empty raw SQL text wins over the other SQL parts.
struct CvDbQuery {
    std::u16string rawSql;
    // Bound to the statement's named parameters on every run.
    CvDbRecord parameters;
    std::u16string from;
    std::vector<std::u16string> selectList;
    // The name under which the i-th result column is read.
    std::vector<std::u16string> columnNames;
    std::u16string where;
    std::u16string orderBy;
    std::u16string groupBy;

    // Rows read on demand: when set, the statement yields only this key
    // column (a table's integer row id), in the rows' order, and a cursor
    // reads a row's `selectList` columns from `keyTable` when it is first
    // asked for, a block of neighbours at a time. A long result then costs
    // one integer per row until it is looked at.
    std::u16string keyColumn;
    std::u16string keyTable;

    // When set, runs instead of the statement and fills the rows itself (a
    // search that needs several statements); `rows` is empty on entry.
    std::function<bool(CvDatabase2& database, const CvDbQuery& query,
                       std::vector<std::vector<CvDbValue>>& rows)>
        producer;
};
