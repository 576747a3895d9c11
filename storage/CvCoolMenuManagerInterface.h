#pragma once

#include <string>

// The item model of the contact list control: group lines and, under every
// expanded group, its contact lines, counted top to bottom.
class CvCoolMenuManagerInterface {
public:
    virtual ~CvCoolMenuManagerInterface() = default;

    virtual int GetItemCount() = 0;
    // The group name or the contact's display name; "" beyond the end.
    virtual std::string GetItemText(int index) = 0;
    // Group: 1 expanded, 0 collapsed. Contact: 3 online user or computer,
    // 2 online domain or workgroup, 5 and 4 the same offline. -1 beyond the end.
    virtual int GetItemImage(int index) = 0;
    virtual int IsGroup(int index) = 0;
    // On a group line: expands or collapses it and repaints; else nothing.
    virtual void Toggle(int index) = 0;
    // The first index in [from, to) whose text starts with `text`, letter case
    // ignored; false when none.
    virtual bool FindByPrefix(int from, int to, const std::string& text, int& index) = 0;
};
