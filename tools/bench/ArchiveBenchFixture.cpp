#include "tools/bench/ArchiveBenchFixture.h"

#include <sqlite3.h>

#include <ctime>
#include <iterator>
#include <random>

#include "app/CvFileTime.h"
#include "app/CvTimeStamp.h"
#include "storage/CvMsgArchive.h"

namespace {

const char* const kWords[] = {"hello",   "meeting",  "lunch",  "report", "server", "printer",
                              "today",   "tomorrow", "please", "thanks", "build",  "Привет",
                              "встреча", "отчёт",    "done",   "call",   "back",   "minutes"};

}  // namespace

std::string BenchPartner(int i) {
    return "STATION" + std::to_string(i);
}

// Fills a new archive file with `count` messages in one transaction.
bool GenerateBenchArchive(const std::string& path, int count) {
    {
        CvMsgArchive archive;  // creates the table and its indexes
        if (!archive.Open(path)) {
            return false;
        }
    }
    sqlite3* db = nullptr;
    if (sqlite3_open(path.c_str(), &db) != SQLITE_OK) {
        return false;
    }
    // Rows written here bypass the search index; the archive indexes them all
    // when it opens the file (timed as "index").
    sqlite3_exec(db,
                 "DROP TRIGGER messages_search_insert; DROP TRIGGER messages_search_delete; "
                 "DROP TRIGGER messages_search_update; DROP TABLE messages_search",
                 nullptr, nullptr, nullptr);
    sqlite3_exec(db, "BEGIN", nullptr, nullptr, nullptr);
    sqlite3_stmt* insert = nullptr;
    sqlite3_prepare_v2(db,
                       "INSERT INTO messages(conttype, message, msgtime, msgtype, recipient, "
                       "sender) VALUES (?1, ?2, ?3, ?4, ?5, ?6)",
                       -1, &insert, nullptr);
    std::mt19937 random(1);
    std::tm start{};
    start.tm_year = 115;
    start.tm_mday = 1;
    uint64_t ticks = CvFileTime::FromCalendar(start);
    for (int i = 0; i < count; ++i) {
        ticks += (1 + random() % 600) * CvFileTime::kTicksPerSecond;
        std::string text;
        const int words = 3 + static_cast<int>(random() % 12);
        for (int w = 0; w < words; ++w) {
            text += std::string(w ? " " : "") + kWords[random() % std::size(kWords)];
        }
        const bool received = random() % 2 == 0;
        const std::string partner = BenchPartner(static_cast<int>(random() % kBenchPartners));
        const std::string stamp = CvTimeStampText(ticks);
        sqlite3_bind_int64(insert, 1, 1);
        sqlite3_bind_text(insert, 2, text.c_str(), -1, SQLITE_TRANSIENT);
        sqlite3_bind_text(insert, 3, stamp.c_str(), -1, SQLITE_TRANSIENT);
        sqlite3_bind_int64(insert, 4, received ? 1 : 2);
        sqlite3_bind_text(insert, 5, received ? "ME" : partner.c_str(), -1, SQLITE_TRANSIENT);
        sqlite3_bind_text(insert, 6, received ? partner.c_str() : "ME", -1, SQLITE_TRANSIENT);
        sqlite3_step(insert);
        sqlite3_reset(insert);
    }
    sqlite3_finalize(insert);
    const bool committed = sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr) == SQLITE_OK;
    sqlite3_close(db);
    return committed;
}
