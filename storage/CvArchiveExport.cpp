#include "storage/CvArchiveExport.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <map>
#include <string_view>
#include <vector>

#include "platform/CvTextCodec.h"
#include "storage/CvDataSet.h"
#include "storage/CvDatabase2.h"
#include "storage/CvDbText.h"
#include "storage/CvLocaleDateTimeFormat.h"

namespace CvArchiveExport {
namespace {

// Row ids read by one statement, and rows read by one block.
constexpr int64_t kWindowRows = 8192;
constexpr size_t kBlockRows = 128;

struct Row {
    std::string stamp;  // as stored
    std::string sender;
    std::string recipient;
    std::string message;
};

struct Line {
    std::string dateTime;
    std::string sender;
    std::string recipient;
    std::string message;
};

// Hands each row to `emit`, in order; false when reading failed.
using RowSource = std::function<bool(const std::function<void(const Row&)>& emit)>;

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

// The file an export replaces: a symbolic link's target, so that the link
// stays a link.
std::string Target(const std::string& path) {
    std::error_code error;
    if (std::filesystem::is_symlink(path, error)) {
        const auto target = std::filesystem::canonical(path, error);
        if (!error) {
            return target.string();
        }
    }
    return path;
}

// Text-mode output into a temporary file beside the target: a "\n" becomes
// CR LF unless a CR already precedes it. Finish renames the complete file
// over the target; otherwise the temporary file goes.
class TextFile {
public:
    explicit TextFile(const std::string& path) : m_target(Target(path)) {
        static std::atomic<unsigned> serial{0};
        const std::filesystem::path target(m_target);
        struct stat existing {};
        const bool replaces = ::stat(m_target.c_str(), &existing) == 0;
        for (int attempt = 0; attempt < 100 && !m_file; ++attempt) {
            m_temporary = (target.parent_path() / ("." + target.filename().string() + "." +
                                                   std::to_string(getpid()) + "." +
                                                   std::to_string(serial++) + ".tmp"))
                              .string();
            const int fd =
                ::open(m_temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
            if (fd < 0) {
                if (errno == EEXIST) {
                    continue;
                }
                break;
            }
            if (replaces) {
                ::fchmod(fd, existing.st_mode & 07777);
            }
            m_file = ::fdopen(fd, "wb");
            if (!m_file) {
                ::close(fd);
                ::unlink(m_temporary.c_str());
            }
        }
    }
    ~TextFile() {
        if (m_file) {
            std::fclose(m_file);
            ::unlink(m_temporary.c_str());
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

    // The file's data reach the disk before the name does, so that a crash
    // leaves the old file or the whole new one.
    bool Finish() {
        const bool written = std::fflush(m_file) == 0 && ::fsync(::fileno(m_file)) == 0;
        const bool closed = std::fclose(m_file) == 0;
        m_file = nullptr;
        if (!written || !closed || m_failed ||
            std::rename(m_temporary.c_str(), m_target.c_str()) != 0) {
            ::unlink(m_temporary.c_str());
            return false;
        }
        return true;
    }

private:
    std::string m_target;
    std::string m_temporary;
    std::FILE* m_file = nullptr;
    char m_last = 0;
    bool m_failed = false;
};

bool Export(const RowSource& source, const std::string& path,
            const CvLocaleDateTimeFormat& format, const std::function<void(TextFile&)>& head,
            const std::function<void(TextFile&, const Line&)>& line,
            const std::function<void(TextFile&)>& tail) {
    TextFile file(path);
    if (!file.IsOpen()) {
        return false;
    }
    head(file);
    const bool read = source([&](const Row& row) {
        Line text;
        std::string date, time;
        // A stamp that is not one is written as it is stored.
        text.dateTime = format.Format(row.stamp, date, time) ? date + " " + time : row.stamp;
        text.sender = row.sender;
        text.recipient = row.recipient;
        text.message = row.message;
        line(file, text);
    });
    if (!read) {
        return false;  // the temporary file goes
    }
    tail(file);
    return file.Finish();
}

RowSource FromDataSet(CvDataSet& dataSet) {
    return [&dataSet](const std::function<void(const Row&)>& emit) {
        const int last = dataSet.GetLastIndex();
        for (int i = 0; i <= last; ++i) {
            emit({dataSet.ReadValue(i, u"msgtime").AsUtf8(), dataSet.ReadValue(i, u"sender").AsUtf8(),
                  dataSet.ReadValue(i, u"recipient").AsUtf8(),
                  dataSet.ReadValue(i, u"message").AsUtf8()});
        }
        return true;
    };
}

bool ToCsv(const RowSource& source, const std::string& path,
           const CvLocaleDateTimeFormat& format) {
    return Export(
        source, path, format, [](TextFile&) {},
        [](TextFile& file, const Line& row) {
            std::string dateTime = NoFormula(row.dateTime);
            if (dateTime.find_first_of(",\"") != std::string::npos) {
                dateTime = "\"" + DoubleQuotes(dateTime) + "\"";
            }
            file.Write(dateTime + "," + CsvField(row.sender) + "," + CsvField(row.recipient) + "," +
                       CsvField(row.message) + "\n");
        },
        [](TextFile& file) { file.Write("\n"); });
}

bool ToHtml(const RowSource& source, const std::string& path,
            const CvLocaleDateTimeFormat& format) {
    return Export(
        source, path, format,
        [](TextFile& file) {
            file.Write("<html>\n<head>\n<meta charset=\"utf-8\">\n</head>\n<body>\n<table>\n");
        },
        [](TextFile& file, const Line& row) {
            std::string text = "<tr>\n";
            for (const std::string* cell :
                 {&row.dateTime, &row.sender, &row.recipient, &row.message}) {
                text += "<td>\n" + HtmlEscape(*cell) + "</td>\n";
            }
            file.Write(text + "\n</tr>\n");
        },
        [](TextFile& file) { file.Write("</table>\n</body>\n</html>\n"); });
}

// The place of a message in the export: its time in SQLite's order (NULL,
// then numbers, then texts by their bytes), then its rid. A stored stamp
// "yyyy-MM-dd HH:mm:ss" is packed into its digits, which order the same; any
// other text is kept whole. (A time of another type reads as NULL.)
class Order {
public:
    void Add(int64_t rid, const CvDbValue& time) {
        Entry entry;
        entry.rid = rid;
        if (time.GetTag() == CvDbValue::Integer) {
            entry.rank = 1;
            entry.number = time.AsInteger();
        } else if (time.GetTag() != CvDbValue::Null) {
            entry.rank = 2;
            const std::string text = time.AsUtf8();
            if (!Pack(text, entry.number)) {
                m_texts.push_back(text);
                entry.text = static_cast<uint32_t>(m_texts.size());
            }
        }
        m_entries.push_back(entry);
    }

    void Sort() {
        std::sort(m_entries.begin(), m_entries.end(),
                  [this](const Entry& a, const Entry& b) { return Before(a, b); });
    }

    size_t Size() const { return m_entries.size(); }
    int64_t Rid(size_t i) const { return m_entries[i].rid; }

private:
    struct Entry {
        int64_t rid = 0;
        int64_t number = 0;  // an integer time, or a packed stamp
        uint32_t text = 0;   // 1 + index into m_texts for another text
        uint8_t rank = 0;
    };

    static bool Pack(const std::string& text, int64_t& number) {
        static constexpr std::string_view kShape = "dddd-dd-dd dd:dd:dd";
        if (text.size() != kShape.size()) {
            return false;
        }
        number = 0;
        for (size_t i = 0; i < text.size(); ++i) {
            const bool digit = text[i] >= '0' && text[i] <= '9';
            if (kShape[i] == 'd') {
                if (!digit) {
                    return false;
                }
                number = number * 10 + (text[i] - '0');
            } else if (text[i] != kShape[i]) {
                return false;
            }
        }
        return true;
    }

    std::string Text(const Entry& entry) const {
        if (entry.text != 0) {
            return m_texts[entry.text - 1];
        }
        std::string digits = std::to_string(entry.number);
        digits.insert(0, 14 - std::min<size_t>(14, digits.size()), '0');
        return digits.substr(0, 4) + "-" + digits.substr(4, 2) + "-" + digits.substr(6, 2) + " " +
               digits.substr(8, 2) + ":" + digits.substr(10, 2) + ":" + digits.substr(12, 2);
    }

    bool Before(const Entry& a, const Entry& b) const {
        if (a.rank != b.rank) {
            return a.rank < b.rank;
        }
        if (a.rank == 1 || (a.rank == 2 && a.text == 0 && b.text == 0)) {
            if (a.number != b.number) {
                return a.number < b.number;
            }
        } else if (a.rank == 2) {
            const int compared = Text(a).compare(Text(b));
            if (compared != 0) {
                return compared < 0;
            }
        }
        return a.rid < b.rid;
    }

    std::vector<Entry> m_entries;
    std::vector<std::string> m_texts;
};

bool IsCancelled(const std::function<bool()>& cancelled) {
    return cancelled && cancelled();
}

// Every message of the archive in the export's order: the times of a window
// of row ids per statement, sorted here, then the rows a block at a time.
RowSource FromArchive(CvDatabase2& archive, const std::function<bool()>& cancelled, int& count) {
    return [&archive, &cancelled, &count](const std::function<void(const Row&)>& emit) {
        CvDbQuery newestRow;
        newestRow.rawSql = u"SELECT max(rid) FROM messages";
        std::vector<CvDbSrvMemCursor2::Row> newest;
        if (!archive.RunQuery(newestRow, newest) || newest.empty() || newest[0].empty()) {
            return false;
        }
        Order order;
        CvDbQuery window;
        window.rawSql = u"SELECT rid, msgtime FROM messages WHERE rid BETWEEN :first AND :last";
        for (int64_t last = newest[0][0].AsInteger(); last >= 1; last -= kWindowRows) {
            window.parameters[u"first"] = CvDbValue::FromInteger(std::max<int64_t>(1, last - kWindowRows + 1));
            window.parameters[u"last"] = CvDbValue::FromInteger(last);
            const bool read = archive.ForEachRow(window, [&order](const CvDbSrvMemCursor2::Row& row) {
                order.Add(row[0].AsInteger(), row[1]);
                return true;
            });
            if (!read || IsCancelled(cancelled)) {
                return false;
            }
        }
        order.Sort();
        for (size_t first = 0; first < order.Size(); first += kBlockRows) {
            const size_t end = std::min(order.Size(), first + kBlockRows);
            std::u16string rids;
            for (size_t i = first; i < end; ++i) {
                rids += (rids.empty() ? u"" : u",") + CvDbText::ToWide(std::to_string(order.Rid(i)));
            }
            // The row ids are integers of our own, so they can stand in the text.
            CvDbQuery block;
            block.rawSql = u"SELECT rid, msgtime, sender, recipient, message FROM messages WHERE rid IN (" +
                           rids + u")";
            std::map<int64_t, Row> rows;
            const bool read = archive.ForEachRow(block, [&rows](const CvDbSrvMemCursor2::Row& row) {
                rows[row[0].AsInteger()] = {row[1].AsUtf8(), row[2].AsUtf8(), row[3].AsUtf8(),
                                            row[4].AsUtf8()};
                return true;
            });
            if (!read || IsCancelled(cancelled)) {
                return false;
            }
            for (size_t i = first; i < end; ++i) {
                // A message deleted since its time was read is left out.
                const auto found = rows.find(order.Rid(i));
                if (found != rows.end()) {
                    emit(found->second);
                    ++count;
                }
            }
        }
        return true;
    };
}

}  // namespace

bool ExportToCsv(CvDataSet& dataSet, const std::string& path) {
    return ExportToCsv(dataSet, path, CvLocaleDateTimeFormat(CvText::CurrentLocaleName()));
}

bool ExportToCsv(CvDataSet& dataSet, const std::string& path,
                 const CvLocaleDateTimeFormat& format) {
    return ToCsv(FromDataSet(dataSet), path, format);
}

bool ExportToHtml(CvDataSet& dataSet, const std::string& path) {
    return ExportToHtml(dataSet, path, CvLocaleDateTimeFormat(CvText::CurrentLocaleName()));
}

bool ExportToHtml(CvDataSet& dataSet, const std::string& path,
                  const CvLocaleDateTimeFormat& format) {
    return ToHtml(FromDataSet(dataSet), path, format);
}

bool ExportArchive(CvDatabase2& archive, const std::string& path, bool html, int& count,
                   const std::function<bool()>& cancelled) {
    count = 0;
    const RowSource source = FromArchive(archive, cancelled, count);
    const CvLocaleDateTimeFormat format(CvText::CurrentLocaleName());
    const bool written = html ? ToHtml(source, path, format) : ToCsv(source, path, format);
    if (!written) {
        count = 0;
    }
    return written;
}

}  // namespace CvArchiveExport
