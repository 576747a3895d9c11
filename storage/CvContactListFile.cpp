#include "storage/CvContactListFile.h"

const std::vector<CvDbScriptEntry>& CvContactListFile::Script() {
    static const std::vector<CvDbScriptEntry> script = {
        {1,
         u"CREATE TABLE favorites (\t\trid INTEGER PRIMARY KEY, \t\tconttype INT, \t\tname "
         u"CHAR(32), \t\tdisplayname CHAR(64), \t\tgroupname CHAR(64))"},
        {2,
         u"CREATE TABLE fav_groups (\t\trid INTEGER PRIMARY KEY, \t\tname CHAR(64), \t\tcollapsed "
         u"INT )"},
        {2,
         u"CREATE UNIQUE INDEX IF NOT EXISTS idx_favgroups ON fav_groups (\t\tname COLLATE "
         u"NOCASE)"},
    };
    return script;
}

CvContactListFile::CvContactListFile() : m_contacts(&m_db) {
    CvDbQuery& query = m_contacts.Query();
    query.selectList = {u"favorites.rid",         u"favorites.conttype", u"favorites.name",
                        u"favorites.displayname", u"fav_groups.name",    u"fav_groups.collapsed"};
    query.columnNames = {u"rid", u"conttype", u"name", u"displayname", u"groupname", u"groupopen"};
    query.from = u"favorites, fav_groups";
    query.where = u"(favorites.groupname = fav_groups.name COLLATE NOCASE)";
    m_contacts.SetUpdateTable(u"favorites");
    m_contacts.SetKeyCondition(u"rid =:rid");
}

bool CvContactListFile::Open(const std::string& path, bool readOnly) {
    Close();
    m_db.SetPath(path);
    m_db.SetReadOnly(readOnly);
    const bool opened = m_db.Open();
    if (opened) {
        m_db.ExecuteScript(Script());
    }
    m_contacts.Open();
    return opened;
}

void CvContactListFile::Close() {
    m_contacts.Close();
    m_db.Close();
}
