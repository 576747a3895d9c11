#include "storage/CvArchiveExport.h"

#include <cstdio>
#include <functional>
#include <string_view>

#include "platform/CvTextCodec.h"
#include "storage/CvDataSet.h"
#include "storage/CvDbDataSet.h"
#include "storage/CvLocaleDateTimeFormat.h"

namespace CvArchiveExport {
namespace {

struct Row {
    std::string dateTime;
    std::string sender;
    std::string recipient;
    std::string message;
};

std::string ReadText(CvDataSet& dataSet, int row, const char16_t* column) {
    return dataSet.ReadValue(row, column).AsUtf8();
}

std::string Replace(std::string_view text, char what, std::string_view with) {
    std::string result;
    result.reserve(text.size());
    for (const char c : text) {
        if (c == what) {
            result += with;
        } else {
            result += c;
        }
    }
    return result;
}

std::string DoubleQuotes(std::string_view text) {
    return Replace(text, '"', "\"\"");
}

// A spreadsheet program opening the file would run a cell that begins with
// one of these as a formula (a peer's message "=HYPERLINK(...)"), so such a
// cell gets a leading apostrophe, as OWASP's advice on CSV injection has it.
std::string NoFormula(const std::string& text) {
    constexpr std::string_view kFormulaStarts = "=+-@\t\r";
    if (!text.empty() && kFormulaStarts.find(text.front()) != std::string_view::npos) {
        return "'" + text;
    }
    return text;
}

// A quoted CSV field.
std::string CsvField(const std::string& text) {
    return "\"" + DoubleQuotes(NoFormula(text)) + "\"";
}

std::string HtmlEscape(std::string_view text) {
    std::string result;
    result.reserve(text.size());
    for (const char c : text) {
        switch (c) {
            case '&':
                result += "&amp;";
                break;
            case '<':
                result += "&lt;";
                break;
            case '>':
                result += "&gt;";
                break;
            case '"':
                result += "&quot;";
                break;
            default:
                result += c;
        }
    }
    return result;
}

// Text-mode output: a "\n" becomes CR LF unless a CR already precedes it.
class TextFile {
public:
    explicit TextFile(const std::string& path) : m_file(std::fopen(path.c_str(), "wb")) {}
    ~TextFile() {
        if (m_file) {
            std::fclose(m_file);
        }
    }
    TextFile(const TextFile&) = delete;
    TextFile& operator=(const TextFile&) = delete;

    bool IsOpen() const { return m_file != nullptr; }

    void Write(std::string_view text) {
        std::string out;
        out.reserve(text.size() + 16);
        for (const char c : text) {
            if (c == '\n' && m_last != '\r') {
                out += '\r';
            }
            out += c;
            m_last = c;
        }
        if (std::fwrite(out.data(), 1, out.size(), m_file) != out.size()) {
            m_failed = true;
        }
    }

    bool Finish() {
        const bool closed = std::fclose(m_file) == 0;
        m_file = nullptr;
        return closed && !m_failed;
    }

private:
    std::FILE* m_file;
    char m_last = 0;
    bool m_failed = false;
};

bool Export(CvDataSet& dataSet, const std::string& path, const CvLocaleDateTimeFormat& format,
            const std::function<void(TextFile&)>& head,
            const std::function<void(TextFile&, const Row&)>& line,
            const std::function<void(TextFile&)>& tail) {
    TextFile file(path);
    if (!file.IsOpen()) {
        return false;
    }
    head(file);
    const int last = dataSet.GetLastIndex();
    for (int i = 0; i <= last; ++i) {
        Row row;
        const std::string stamp = ReadText(dataSet, i, u"msgtime");
        std::string date, time;
        // A stamp that is not one is written as it is stored.
        row.dateTime = format.Format(stamp, date, time) ? date + " " + time : stamp;
        row.sender = ReadText(dataSet, i, u"sender");
        row.recipient = ReadText(dataSet, i, u"recipient");
        row.message = ReadText(dataSet, i, u"message");
        line(file, row);
    }
    tail(file);
    return file.Finish();
}

}  // namespace

bool ExportToCsv(CvDataSet& dataSet, const std::string& path) {
    return ExportToCsv(dataSet, path, CvLocaleDateTimeFormat(CvText::CurrentLocaleName()));
}

bool ExportToCsv(CvDataSet& dataSet, const std::string& path,
                 const CvLocaleDateTimeFormat& format) {
    return Export(
        dataSet, path, format, [](TextFile&) {},
        [](TextFile& file, const Row& row) {
            std::string dateTime = NoFormula(row.dateTime);
            if (dateTime.find_first_of(",\"") != std::string::npos) {
                dateTime = "\"" + DoubleQuotes(dateTime) + "\"";
            }
            file.Write(dateTime + "," + CsvField(row.sender) + "," + CsvField(row.recipient) + "," +
                       CsvField(row.message) + "\n");
        },
        [](TextFile& file) { file.Write("\n"); });
}

bool ExportToHtml(CvDataSet& dataSet, const std::string& path) {
    return ExportToHtml(dataSet, path, CvLocaleDateTimeFormat(CvText::CurrentLocaleName()));
}

bool ExportToHtml(CvDataSet& dataSet, const std::string& path,
                  const CvLocaleDateTimeFormat& format) {
    return Export(
        dataSet, path, format,
        [](TextFile& file) {
            file.Write("<html>\n<head>\n<meta charset=\"utf-8\">\n</head>\n<body>\n<table>\n");
        },
        [](TextFile& file, const Row& row) {
            std::string text = "<tr>\n";
            for (const std::string* cell :
                 {&row.dateTime, &row.sender, &row.recipient, &row.message}) {
                text += "<td>\n" + HtmlEscape(*cell) + "</td>\n";
            }
            file.Write(text + "\n</tr>\n");
        },
        [](TextFile& file) { file.Write("</table>\n</body>\n</html>\n"); });
}

bool ExportArchive(CvDatabase2& archive, const std::string& path, bool html, int& count) {
    // Row ids only: the rows are read a block at a time as they are written
    // out, so a large archive is never held in memory whole.
    CvDbDataSet all(&archive);
    all.Query().rawSql = u"SELECT rid FROM messages ORDER BY msgtime, rid";
    all.Query().keyColumn = u"rid";
    all.Query().keyTable = u"messages";
    all.Query().selectList = {u"msgtime", u"sender", u"recipient", u"message"};
    all.Query().columnNames = all.Query().selectList;
    all.SetAutoRefresh(false);
    all.Open();
    count = all.GetLastIndex() + 1;
    return html ? ExportToHtml(all, path) : ExportToCsv(all, path);
}

}  // namespace CvArchiveExport
