// Message archive benchmark: archives of several sizes over 50 partners; the
// time to store one received message while both archive data sets are shown
// (they place each stored row), to list the dialogues, to search for a
// word and to open one conversation, and the file size. The defining
// dialogue statement and conversation condition are timed beside the ones
// the data sets run; the bench fails when they find different rows. The
// rows are written past the search index, so opening the file indexes them
// all ("index": what an archive from before the index costs once). The file
// leaves the page cache before that opening, as after a restart: the index
// time is a cold one. The other times are medians of repeated runs, so warm.
//
// Usage: corvane-archive-bench [--dir DIR] [COUNT...]   (default 10000 100000 1000000)

#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "messaging/CMsg.h"
#include "storage/CvDbDataSet.h"
#include "storage/CvMsgArchive.h"
#include "tools/bench/ArchiveBenchFixture.h"

namespace {

// Median of `rounds` runs, in milliseconds.
double Time(int rounds, const std::function<void()>& run) {
    std::vector<double> times;
    for (int i = 0; i < rounds; ++i) {
        const auto begin = std::chrono::steady_clock::now();
        run();
        times.push_back(
            std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - begin)
                .count());
    }
    std::sort(times.begin(), times.end());
    return times[times.size() / 2];
}

// Writes the file out and drops its pages from the page cache (dirty pages
// would stay); the fraction of its pages still cached afterwards, -1 when
// that cannot be told.
double DropFromPageCache(const std::string& path) {
    const int fd = open(path.c_str(), O_RDONLY);
    if (fd < 0) {
        return -1;
    }
    fsync(fd);
    posix_fadvise(fd, 0, 0, POSIX_FADV_DONTNEED);
    double cached = -1;
    const auto size = static_cast<size_t>(lseek(fd, 0, SEEK_END));
    void* map = size > 0 ? mmap(nullptr, size, PROT_READ, MAP_SHARED, fd, 0) : MAP_FAILED;
    if (map != MAP_FAILED) {
        const size_t page = static_cast<size_t>(sysconf(_SC_PAGESIZE));
        std::vector<unsigned char> resident((size + page - 1) / page);
        if (mincore(map, size, resident.data()) == 0) {
            const auto in = std::count_if(resident.begin(), resident.end(),
                                          [](unsigned char flags) { return (flags & 1) != 0; });
            cached = static_cast<double>(in) / static_cast<double>(resident.size());
        }
        munmap(map, size);
    }
    close(fd);
    return cached;
}

}  // namespace

int main(int argc, char** argv) {
    std::string dir = std::filesystem::temp_directory_path().string();
    std::vector<int> counts;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--dir" && i + 1 < argc) {
            dir = argv[++i];
        } else if (std::atoi(arg.c_str()) > 0) {
            counts.push_back(std::atoi(arg.c_str()));
        } else {
            std::fprintf(stderr, "usage: corvane-archive-bench [--dir DIR] [COUNT...]\n");
            return 64;
        }
    }
    if (counts.empty()) {
        counts = {10000, 100000, 1000000};
    }
    std::printf("%10s %10s %8s %10s %10s %10s %10s %10s %10s %10s %8s %9s\n", "messages",
                "store+ref", "list", "search", "rare srch", "open conv", "ref list", "ref search",
                "ref conv", "generate", "idx cold", "file MiB");
    for (const int count : counts) {
        const std::string path = dir + "/corvane-archive-bench-" + std::to_string(count) + ".db";
        std::filesystem::remove(path);
        const auto begin = std::chrono::steady_clock::now();
        if (!GenerateBenchArchive(path, count)) {
            std::fprintf(stderr, "cannot create %s\n", path.c_str());
            return 1;
        }
        const double generate =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - begin).count();

        const double cached = DropFromPageCache(path);
        CvMsgArchive archive;
        const auto indexBegin = std::chrono::steady_clock::now();
        archive.Open(path);
        const double index =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - indexBegin).count();
        // Both views shown, as in an open archive window.
        archive.Dialogues().SetFollowing(true);
        archive.Conversation().SetFollowing(true);
        archive.SetPartner(BenchPartner(7));
        const int rounds = count >= 1000000 ? 5 : 15;
        CMsg msg;
        msg.type = MsgPersonal;
        msg.sender = BenchPartner(7);
        msg.recipient = "ME";
        msg.text = "benchmark message";
        const double store = Time(rounds, [&] { archive.StoreReceived(msg); });
        const double list = Time(rounds, [&] { archive.SetSearchText(""); });
        // A word in few messages: the index finds them without the others.
        CMsg rare = msg;
        rare.text = "zebra crossing";
        archive.StoreReceived(rare);
        const double rareSearch = Time(rounds, [&] { archive.SetSearchText("zebra"); });
        const double search = Time(rounds, [&] { archive.SetSearchText("report"); });
        const int hits = archive.Dialogues().GetLastIndex() + 1;
        archive.SetSearchText("");
        const int dialogues = archive.Dialogues().GetLastIndex() + 1;
        const double conversation = Time(rounds, [&] { archive.SetPartner(BenchPartner(3)); });

        CvDbQuery reference;
        reference.rawSql = CvMsgArchive::kDialogueReferenceSql;
        reference.parameters[u"srchstr"] = CvDbValue::FromAnsi("%%");
        std::vector<CvDbSrvMemCursor2::Row> rows;
        const int referenceRounds = count >= 1000000 ? 1 : 5;
        const double referenceList =
            Time(referenceRounds, [&] { archive.Database().RunQuery(reference, rows); });
        // A ratio compares like only when both found the same rows.
        bool same = true;
        if (static_cast<int>(rows.size()) != dialogues) {
            std::fprintf(stderr, "list: %d dialogues, the defining statement %zu\n", dialogues,
                         rows.size());
            same = false;
        }
        reference.parameters[u"srchstr"] = CvDbValue::FromAnsi("%report%");
        const double referenceSearch =
            Time(referenceRounds, [&] { archive.Database().RunQuery(reference, rows); });
        if (static_cast<int>(rows.size()) != hits) {
            std::fprintf(stderr, "search: %d dialogues, the defining statement %zu\n", hits,
                         rows.size());
            same = false;
        }
        CvDbQuery referenceConversation;
        referenceConversation.selectList = archive.Conversation().Query().selectList;
        referenceConversation.from = u"messages";
        referenceConversation.where = CvMsgArchive::kConversationReferenceWhere;
        referenceConversation.orderBy = u"msgtime DESC, rid DESC";
        referenceConversation.parameters[u"addr"] = CvDbValue::FromAnsi(BenchPartner(3));
        const double referenceOpen = Time(
            referenceRounds, [&] { archive.Database().RunQuery(referenceConversation, rows); });
        if (static_cast<int>(rows.size()) != archive.Conversation().GetLastIndex() + 1) {
            std::fprintf(stderr, "conversation: %d rows, the defining condition %zu\n",
                         archive.Conversation().GetLastIndex() + 1, rows.size());
            same = false;
        }
        archive.Close();
        const double size = static_cast<double>(std::filesystem::file_size(path)) / (1 << 20);
        std::printf(
            "%10d %8.2fms %6.2fms %8.2fms %8.2fms %8.2fms %8.2fms %8.2fms %8.2fms %9.1fs %7.1fs "
            "%9.1f\n",
            count, store, list, search, rareSearch, conversation, referenceList, referenceSearch,
            referenceOpen, generate, index, size);
        std::printf(
            "%10s ratios to the plain statements: list %.0fx, search %.1fx, conversation %.1fx\n",
            "", referenceList / list, referenceSearch / search, referenceOpen / conversation);
        if (cached >= 0) {
            std::printf(
                "%10s index: cold, %.1f%% of the file in the page cache when it began; the "
                "other times warm\n",
                "", cached * 100);
        } else {
            std::printf("%10s index: the file's pages could not be dropped; it may be warm\n", "");
        }
        std::fflush(stdout);
        if (!std::getenv("CORVANE_BENCH_KEEP")) {
            std::filesystem::remove(path);
        }
        if (!same) {
            std::fprintf(stderr, "the data sets and the plain statements disagree\n");
            return 1;
        }
    }
    return 0;
}
