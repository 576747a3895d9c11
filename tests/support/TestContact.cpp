#include "support/TestContact.h"

CvContact TestContact(int32_t kind, const std::string& name, const std::string& display,
                      const std::string& group) {
    CvContact contact;
    contact.conttype = kind;
    contact.name = name;
    contact.displayname = display;
    contact.groupname = group;
    return contact;
}
