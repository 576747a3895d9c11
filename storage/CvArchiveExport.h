#pragma once

#include <string>

class CvDataSet;
class CvDatabase2;
class CvLocaleDateTimeFormat;

// Writes archived messages to a file for other programs: every row of a data
// set with the columns sender, recipient, message and msgtime, in the data
// set's order. Line ends are CR LF (dates and times in the formats of the user's locale unless a
// format is given); a CR LF inside a message stays as it is. An existing file is
// replaced. Returns false when the file cannot be written.
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

// Every message of the archive file, oldest first, as HTML or CSV. Sets
// `count` to the messages written. False when the file cannot be written.
bool ExportArchive(CvDatabase2& archive, const std::string& path, bool html, int& count);

}  // namespace CvArchiveExport
