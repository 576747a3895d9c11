#pragma once

#include <string>
#include <vector>

#include "storage/CvDatabase2.h"
#include "storage/CvDbDataSet.h"
#include "storage/CvDbScriptEntry.h"

// The contact list file: tables `favorites` (contacts) and `fav_groups`
// (groups, names unique without regard to letter case), read through one data
// set of the contacts joined with their groups; columns rid, conttype, name,
// displayname, groupname, groupopen. A contact whose group has no row is not
// read.
class CvContactListFile {
public:
    static const std::vector<CvDbScriptEntry>& Script();

    CvContactListFile();
    CvContactListFile(const CvContactListFile&) = delete;
    CvContactListFile& operator=(const CvContactListFile&) = delete;

    // Opens (read-write mode creates a missing file), runs the script and
    // opens the data set. Read-only when editing is disabled: every write then
    // fails. False when the file cannot be opened; the data set is then empty.
    bool Open(const std::string& path, bool readOnly);
    void Close();

    CvDatabase2& Database() { return m_db; }
    CvDbDataSet& Contacts() { return m_contacts; }

private:
    CvDatabase2 m_db;
    CvDbDataSet m_contacts;
};
