#pragma once

#include <map>
#include <string>

#include "storage/CvDbValue.h"

// Column name -> value, ordered by the name's UTF-16 code units. Serves as one
// row's values and as the named parameters of a statement (":name"); its order
// is the column order of built INSERT and UPDATE statements.
using CvDbRecord = std::map<std::u16string, CvDbValue>;
