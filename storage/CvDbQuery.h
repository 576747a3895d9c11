#pragma once

#include <string>
#include <vector>

#include "storage/CvDbRecord.h"

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
};
