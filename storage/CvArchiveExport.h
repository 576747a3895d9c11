#pragma once

#include <functional>
#include <string>

class CvDataSet;
class CvDatabase2;
class CvLocaleDateTimeFormat;

// Writes archived messages to a file for other programs: every row of a data
// set with the columns sender, recipient, message and msgtime, in the data
// set's order. Line ends are CR LF (dates and times in the formats of the
// user's locale unless a format is given); a CR LF inside a message stays as
// it is. Returns false when the file cannot be written.
//
// The file is written under a temporary name beside it and renamed to `path`
// only when it is complete: an existing file is replaced whole or not at all,
// and a failed or cancelled export leaves nothing behind. A symbolic link at
// `path` stays and the file it points to is replaced; a replaced file keeps
// its permissions.
namespace CvArchiveExport {

// One line a message: date time,"sender","recipient","message" with quotes
// doubled in the quoted fields; the date and time field is quoted too when
// the locale's format puts a comma or a quote into it. A field that begins
// with "=", "+", "-", "@", a tab or a CR gets a leading "'", so that a
// spreadsheet program shows it as text instead of running it as a formula.
// No header line; one empty line at the end.
bool ExportToCsv(CvDataSet& dataSet, const std::string& path);
bool ExportToCsv(CvDataSet& dataSet, const std::string& path, const CvLocaleDateTimeFormat& format);

// A UTF-8 HTML table, one row a message, cells date and time, sender,
// recipient, message. Every cell is HTML-escaped (& < > "), so message text
// cannot inject markup into the page.
bool ExportToHtml(CvDataSet& dataSet, const std::string& path);
bool ExportToHtml(CvDataSet& dataSet, const std::string& path,
                  const CvLocaleDateTimeFormat& format);

// Every message of the archive file, oldest first (by time, then rid), as
// HTML or CSV. Sets `count` to the messages written. False when the file
// cannot be written or `cancelled` (asked between statements) says so. The
// archive is read a window of row ids per statement, so that no statement
// holds the file's lock for long while another connection writes it.
bool ExportArchive(CvDatabase2& archive, const std::string& path, bool html, int& count,
                   const std::function<bool()>& cancelled = {});

}  // namespace CvArchiveExport
