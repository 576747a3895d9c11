#pragma once

#include <cstdint>
#include <string>
#include <vector>

// Something that keeps rows read through a connection and follows the writes
// made through it (CvDatabase2::AddFollower). It is told once per write that
// took effect: after each statement outside a batch, after the commit of a
// batch; a batch that was rolled back changed nothing and is not told.
class CvDbFollower {
public:
    // Rows were inserted into `table` (row ids in the order written) and
    // nothing else changed: a follower can place them by looking each up.
    virtual void RowsInserted(const std::u16string& table, const std::vector<int64_t>& rowids) = 0;
    // Anything else changed (an update, a delete, a statement of the
    // caller's own text).
    virtual void RowsChanged() = 0;

protected:
    virtual ~CvDbFollower() = default;
};
