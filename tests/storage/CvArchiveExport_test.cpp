#include "storage/CvArchiveExport.h"

#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "storage/CvLocaleDateTimeFormat.h"
#include "storage/CvMsgArchive.h"
#include "support/TestEnv.h"

namespace {

class CvArchiveExportTest : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(m_archive.Open(m_dir.File("messages")));
        // Oldest first, so that the expected files read in order.
        m_archive.Conversation().Query().rawSql =
            u"SELECT rid FROM messages WHERE sender = :addr COLLATE NOCASE ORDER BY rid";
    }

    void Add(const char* time, const char* sender, const char* message) {
        m_archive.Database().Insert(u"messages", {{u"msgtype", CvDbValue::FromInteger(1)},
                                                  {u"msgtime", CvDbValue::FromAnsi(time)},
                                                  {u"sender", CvDbValue::FromAnsi(sender)},
                                                  {u"recipient", CvDbValue::FromAnsi("ME")},
                                                  {u"message", CvDbValue::FromAnsi(message)}});
    }

    void AddFixture() {
        Add("2024-03-01 09:05:07", "Al \"Al\" ice",
            "line1\r\nline2 <script>alert(1)</script> & \"q\"");
        Add("2024-12-31 23:59:59", "Al \"Al\" ice", "lone\nLF, comma");
        m_archive.SetPartner("al \"al\" ice");
    }

    ScopedEnv m_locale{"LC_ALL", "de_DE.UTF-8"};
    TempDir m_dir;
    CvMsgArchive m_archive;
};

TEST_F(CvArchiveExportTest, CsvQuotesEveryTextFieldAndKeepsLineBreaks) {
    AddFixture();
    const std::string path = m_dir.File("out.csv");
    ASSERT_TRUE(CvArchiveExport::ExportToCsv(m_archive.Conversation(), path));
    EXPECT_EQ(ReadFileText(path),
              "01.03.24 09:05:07,\"Al \"\"Al\"\" ice\",\"ME\",\"line1\r\nline2 "
              "<script>alert(1)</script> & \"\"q\"\"\"\r\n"
              "31.12.24 23:59:59,\"Al \"\"Al\"\" ice\",\"ME\",\"lone\r\nLF, comma\"\r\n"
              "\r\n");
}

// The whole archive is read a block of rows at a time; every row must come
// out once, oldest first, across the blocks.
TEST_F(CvArchiveExportTest, TheWholeArchiveComesOutOnceInTimeOrder) {
    constexpr int kRows = 300;  // more than two blocks
    for (int i = 0; i < kRows; ++i) {
        const int minute = kRows - 1 - i;  // stored newest first
        char time[32];
        std::snprintf(time, sizeof time, "2024-03-01 %02d:%02d:00", minute / 60, minute % 60);
        Add(time, "BOB", ("m" + std::to_string(minute)).c_str());
    }
    int count = 0;
    const std::string path = m_dir.File("all.csv");
    ASSERT_TRUE(CvArchiveExport::ExportArchive(m_archive.Database(), path, false, count));
    EXPECT_EQ(count, kRows);
    const std::string text = ReadFileText(path);
    size_t at = 0;
    for (int minute = 0; minute < kRows; ++minute) {
        const std::string cell = "\"m" + std::to_string(minute) + "\"\r\n";
        const size_t found = text.find(cell, at);
        ASSERT_NE(found, std::string::npos) << minute;
        at = found + cell.size();
    }
}

std::vector<std::string> Files(const std::string& dir) {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(dir)) {
        names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
}

// The file is written beside its target and renamed over it when complete:
// an export that fails half-way (here the file grows past the process's
// limit, as on a full disk) or is cancelled leaves the file that was there
// as it was, and no partial file anywhere.
TEST_F(CvArchiveExportTest, AFailedOrCancelledExportLeavesTheOldFileWhole) {
    for (int i = 0; i < 300; ++i) {
        Add("2024-03-01 10:00:00", "BOB", std::string(100, 'x').c_str());
    }
    const std::string path = m_dir.File("archive.csv");
    WriteFileText(path, "the export of yesterday\n");
    const std::vector<std::string> before = Files(m_dir.Path());

    rlimit old{};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &old), 0);
    const auto previous = signal(SIGXFSZ, SIG_IGN);
    rlimit small = old;
    small.rlim_cur = 8192;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    int count = -1;
    const bool written = CvArchiveExport::ExportArchive(m_archive.Database(), path, false, count);
    setrlimit(RLIMIT_FSIZE, &old);
    signal(SIGXFSZ, previous);
    EXPECT_FALSE(written);
    EXPECT_EQ(count, 0);
    EXPECT_EQ(ReadFileText(path), "the export of yesterday\n");
    EXPECT_EQ(Files(m_dir.Path()), before);

    int asked = 0;
    EXPECT_FALSE(CvArchiveExport::ExportArchive(m_archive.Database(), path, true, count,
                                                [&asked] { return ++asked > 1; }));
    EXPECT_EQ(ReadFileText(path), "the export of yesterday\n");
    EXPECT_EQ(Files(m_dir.Path()), before);
}

// A complete export replaces the file a link points to (the link stays) and
// keeps the replaced file's permissions; a new file gets the usual ones.
TEST_F(CvArchiveExportTest, AnExportReplacesTheLinkedFileAndKeepsItsPermissions) {
    AddFixture();
    const std::string real = m_dir.File("real.html");
    const std::string link = m_dir.File("link.html");
    WriteFileText(real, "old");
    ASSERT_EQ(chmod(real.c_str(), 0640), 0);
    ASSERT_EQ(symlink("real.html", link.c_str()), 0);
    int count = 0;
    ASSERT_TRUE(CvArchiveExport::ExportArchive(m_archive.Database(), link, true, count));
    EXPECT_EQ(count, 2);
    EXPECT_TRUE(std::filesystem::is_symlink(link));
    EXPECT_NE(ReadFileText(real).find("Al &quot;Al&quot; ice"), std::string::npos);
    struct stat info {};
    ASSERT_EQ(stat(real.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0640u);

    const mode_t mask = umask(022);
    const std::string fresh = m_dir.File("fresh.csv");
    ASSERT_TRUE(CvArchiveExport::ExportArchive(m_archive.Database(), fresh, false, count));
    umask(mask);
    ASSERT_EQ(stat(fresh.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0644u);
    EXPECT_EQ(Files(m_dir.Path()),
              (std::vector<std::string>{"fresh.csv", "link.html", "messages", "real.html"}));
}

// Exporting in the background reads through the reader's own connection and
// reports on its thread.
TEST_F(CvArchiveExportTest, ABackgroundExportReportsWhenWritten) {
    AddFixture();
    m_archive.ReadInBackground([] {});
    std::atomic<int> result{-1};
    const std::string path = m_dir.File("out.csv");
    m_archive.Export(path, false, [&result](bool written, int count) {
        result = written ? count : -2;
    });
    ASSERT_TRUE(WaitUntil([&result] { return result != -1; }));
    EXPECT_EQ(result, 2);
    EXPECT_NE(ReadFileText(path).find("lone\r\nLF, comma"), std::string::npos);
    m_archive.ReadInBackground(nullptr);
}

TEST_F(CvArchiveExportTest, CsvQuotesADateWithACommaSoColumnsNeverShift) {
    AddFixture();
    const std::string path = m_dir.File("out.csv");
    ASSERT_TRUE(CvArchiveExport::ExportToCsv(m_archive.Conversation(), path,
                                             CvLocaleDateTimeFormat("d.MM, y", "'\"'HH:mm")));
    const std::string text = ReadFileText(path);
    EXPECT_EQ(text.substr(0, text.find("\",\"ME\"")),
              "\"1.03, 2024 \"\"09:05\",\"Al \"\"Al\"\" ice");
}

TEST_F(CvArchiveExportTest, HtmlEscapesEveryCellAndDeclaresUtf8) {
    AddFixture();
    const std::string path = m_dir.File("out.html");
    ASSERT_TRUE(CvArchiveExport::ExportToHtml(m_archive.Conversation(), path));
    const std::string row2 =
        "<tr>\r\n<td>\r\n31.12.24 23:59:59</td>\r\n<td>\r\nAl &quot;Al&quot; ice</td>\r\n"
        "<td>\r\nME</td>\r\n<td>\r\nlone\r\nLF, comma</td>\r\n\r\n</tr>\r\n";
    EXPECT_EQ(ReadFileText(path),
              "<html>\r\n<head>\r\n<meta charset=\"utf-8\">\r\n</head>\r\n<body>\r\n<table>\r\n"
              "<tr>\r\n<td>\r\n01.03.24 09:05:07</td>\r\n<td>\r\nAl &quot;Al&quot; ice</td>\r\n"
              "<td>\r\nME</td>\r\n<td>\r\nline1\r\nline2 &lt;script&gt;alert(1)&lt;/script&gt; "
              "&amp; &quot;q&quot;</td>\r\n\r\n</tr>\r\n" +
                  row2 + "</table>\r\n</body>\r\n</html>\r\n");
}

TEST_F(CvArchiveExportTest, AnEmptyArchiveAndAnUnwritablePath) {
    m_archive.SetPartner("nobody");
    ASSERT_TRUE(CvArchiveExport::ExportToCsv(m_archive.Conversation(), m_dir.File("e.csv")));
    EXPECT_EQ(ReadFileText(m_dir.File("e.csv")), "\r\n");
    ASSERT_TRUE(CvArchiveExport::ExportToHtml(m_archive.Conversation(), m_dir.File("e.html")));
    EXPECT_EQ(ReadFileText(m_dir.File("e.html")),
              "<html>\r\n<head>\r\n<meta charset=\"utf-8\">\r\n</head>\r\n<body>\r\n<table>\r\n"
              "</table>\r\n</body>\r\n</html>\r\n");
    EXPECT_FALSE(CvArchiveExport::ExportToCsv(m_archive.Conversation(), m_dir.File("no/e.csv")));
    EXPECT_FALSE(CvArchiveExport::ExportToHtml(m_archive.Conversation(), m_dir.File("no/e.html")));
}

}  // namespace
