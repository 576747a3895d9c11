#pragma once

#include <string>

#include "storage/CvDataSet.h"

// A data set that can search a column.
class CvDataSet2 : public CvDataSet {
public:
    // Index of the first row whose value in `column` equals `value` (tags
    // included: a wide "bob" is not an ANSI "bob"); -1 when no column bears
    // that name or nothing matches.
    virtual int Find(const std::u16string& column, const CvDbValue& value) = 0;
};
