#include <string>

#include <gtest/gtest.h>

#include "storage/CvArchiveExport.h"
#include "storage/CvLocaleDateTimeFormat.h"
#include "storage/CvMsgArchive.h"
#include "support/TestEnv.h"

namespace {

// A peer's text must not become a formula when the exported file is opened
// in a spreadsheet program: a cell that begins like one is shown as text.
TEST(CvArchiveExportFormula, CsvCellsNeverBeginWithAFormula) {
    const struct {
        const char* sender;
        const char* message;
        const char* line;
    } cases[] = {
        {"=CMD", "=HYPERLINK(\"http://x\",\"y\")",
         "\"'=CMD\",\"ME\",\"'=HYPERLINK(\"\"http://x\"\",\"\"y\"\")\""},
        {"+BOB", "+1+1", "\"'+BOB\",\"ME\",\"'+1+1\""},
        {"-BOB", "-2", "\"'-BOB\",\"ME\",\"'-2\""},
        {"@BOB", "@SUM(A1)", "\"'@BOB\",\"ME\",\"'@SUM(A1)\""},
        {"BOB", "\t=1", "\"BOB\",\"ME\",\"'\t=1\""},
        {"BOB", "\r=1", "\"BOB\",\"ME\",\"'\r=1\""},
        {"BOB", "a=1, b-2 @c", "\"BOB\",\"ME\",\"a=1, b-2 @c\""},  // only the start counts
        {"BOB", "", "\"BOB\",\"ME\",\"\""},
    };
    TempDir dir;
    CvMsgArchive archive;
    ASSERT_TRUE(archive.Open(dir.File("messages")));
    const CvLocaleDateTimeFormat format("yyyy-MM-dd", "HH:mm");
    for (const auto& c : cases) {
        SCOPED_TRACE(c.line);
        archive.Clear();
        archive.Database().Insert(u"messages",
                                  {{u"msgtype", CvDbValue::FromInteger(1)},
                                   {u"msgtime", CvDbValue::FromAnsi("2024-03-01 09:05:07")},
                                   {u"sender", CvDbValue::FromAnsi(c.sender)},
                                   {u"recipient", CvDbValue::FromAnsi("ME")},
                                   {u"message", CvDbValue::FromAnsi(c.message)}});
        archive.SetPartner(c.sender);
        const std::string path = dir.File("out.csv");
        ASSERT_TRUE(CvArchiveExport::ExportToCsv(archive.Conversation(), path, format));
        EXPECT_EQ(ReadFileText(path), "2024-03-01 09:05," + std::string(c.line) + "\r\n\r\n");
    }
}

// A stored time that is no time is written as it is, and may not start a
// formula either.
TEST(CvArchiveExportFormula, AnUnreadableTimeIsNoFormulaEither) {
    TempDir dir;
    CvMsgArchive archive;
    ASSERT_TRUE(archive.Open(dir.File("messages")));
    archive.Database().Insert(u"messages", {{u"msgtype", CvDbValue::FromInteger(1)},
                                            {u"msgtime", CvDbValue::FromAnsi("=1+1")},
                                            {u"sender", CvDbValue::FromAnsi("BOB")},
                                            {u"recipient", CvDbValue::FromAnsi("ME")},
                                            {u"message", CvDbValue::FromAnsi("hi")}});
    archive.SetPartner("BOB");
    const std::string path = dir.File("out.csv");
    ASSERT_TRUE(CvArchiveExport::ExportToCsv(archive.Conversation(), path,
                                             CvLocaleDateTimeFormat("yyyy-MM-dd", "HH:mm")));
    EXPECT_EQ(ReadFileText(path), "'=1+1,\"BOB\",\"ME\",\"hi\"\r\n\r\n");
}

}  // namespace
