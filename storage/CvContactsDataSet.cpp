#include "storage/CvContactsDataSet.h"

#include <fstream>
#include <iterator>
#include <sstream>
#include <stdexcept>
#include <vector>

#include "platform/CvAnsiCodec.h"

CvContactsDataSet::CvContactsDataSet()
    : CvMemDataSet({u"Type", u"RealName", u"DisplayName", u"GroupName", u"GroupOpen"}) {}

bool CvContactsDataSet::Load(const std::string& path) {
    Rows().Clear();
    std::ifstream file(path, std::ios::binary);
    if (!file) {
        return false;
    }
    std::string bytes((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    std::string text;
    try {
        text = CvAnsiCodec::FileTextToUtf8(bytes);
    } catch (const std::invalid_argument&) {
        // No converter for the locale's code page: keep the text as UTF-8,
        // whatever it holds.
        text = CvAnsiCodec::FileTextToUtf8(bytes, 1252);
    }
    std::istringstream lines(text);
    std::string line;
    while (std::getline(lines, line)) {
        if (!line.empty() && line.back() == '\r') {
            line.pop_back();
        }
        std::vector<std::string> fields(5);
        size_t start = 0;
        for (size_t i = 0; i < fields.size() && start <= line.size(); ++i) {
            const size_t end = line.find(';', start);
            fields[i] = line.substr(start, end == std::string::npos ? end : end - start);
            if (end == std::string::npos) {
                break;
            }
            start = end + 1;
        }
        Rows().Append({
            {u"Type", CvDbValue::FromInteger(fields[0] == "1" ? 1 : 2)},
            {u"RealName", CvDbValue::FromAnsi(fields[1])},
            {u"DisplayName", CvDbValue::FromAnsi(fields[2])},
            {u"GroupName", CvDbValue::FromAnsi(fields[3])},
            {u"GroupOpen", CvDbValue::FromInteger(fields[4] == "1" ? 1 : 0)},
        });
    }
    return true;
}
