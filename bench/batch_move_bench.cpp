// Moves N selected files into one folder on the same file system through the core batch move, and
// the same files with `mv -t` (paths handed to `xargs -0` on a pipe), alternating rounds.
// usage: batch_move_bench [FILES] [ROUNDS] [WORK_FOLDER]
#include "actions/ListBatch.h"
#include "desktop/Desktop.h"
#include "files/FileFacts.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <spawn.h>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

extern char** environ;

using namespace karv;
namespace fs = std::filesystem;

namespace {

struct Rows : ActionRows {
    std::vector<ResultRow> rows;
    std::vector<std::size_t> selectedRows() override { return {}; }
    std::size_t rowCount() override { return rows.size(); }
    ResultRow row(std::size_t index) override { return rows[index]; }
    void setRowPlace(std::size_t index, const std::string& folder, const std::string& name,
                     const RowStamp& stamp) override {
        rows[index].folder = folder;
        rows[index].name = name;
        rows[index].stamp = stamp;
    }
    void removeRow(std::size_t index) override {
        rows.erase(rows.begin() + static_cast<std::ptrdiff_t>(index));
    }
};

struct NoQuestion : TargetExistsQuestion {
    int askTargetExists(const std::string&, bool&) override { return kConflictNone; }
};

std::vector<std::string> makeFiles(const std::string& folder, int count) {
    fs::remove_all(folder);
    fs::create_directories(folder);
    std::vector<std::string> paths;
    for (int i = 0; i < count; ++i) {
        paths.push_back(folder + "/file" + std::to_string(i) + ".txt");
        const int fd = ::open(paths.back().c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (fd < 0 || ::write(fd, "content\n", 8) != 8)
            std::abort();
        ::close(fd);
    }
    return paths;
}

double seconds(std::chrono::steady_clock::time_point since) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

double oursOnce(const std::string& work, int count) {
    const std::vector<std::string> paths = makeFiles(work + "/src", count);
    fs::remove_all(work + "/dst");
    fs::create_directories(work + "/dst");
    Rows rows;
    BatchRequest request;
    request.act = BatchAct::Move;
    request.folder = work + "/dst/";
    const auto folder = statFile(work + "/src");
    for (const std::string& path : paths) {
        ResultRow row;
        row.folder = work + "/src/";
        row.name = path.substr(path.rfind('/') + 1);
        const auto stat = statFile(path);
        row.stamp = rowStamp(*stat, *folder);
        request.rows.push_back({rows.rows.size(), row});
        rows.rows.push_back(row);
    }
    StopToken stop;
    NoProgress progress;
    SteadyClock clock;
    const RunContext context{stop, progress, {}, clock};
    NoQuestion question;
    files::FileOps files;
    ListBatch batch(files);
    const auto start = std::chrono::steady_clock::now();
    const RunOutcome outcome = batch.run(request, context, rows, question);
    const double elapsed = seconds(start);
    if (outcome.succeeded != static_cast<std::uint64_t>(count) || !outcome.failures.empty()) {
        std::fprintf(stderr, "moved %llu of %d files\n", static_cast<unsigned long long>(outcome.succeeded),
                     count);
        std::exit(1);
    }
    return elapsed;
}

double mvOnce(const std::string& work, int count) {
    const std::vector<std::string> paths = makeFiles(work + "/src", count);
    fs::remove_all(work + "/dst");
    fs::create_directories(work + "/dst");
    const std::string target = work + "/dst";
    int pipeFds[2];
    if (::pipe(pipeFds) != 0)
        std::abort();
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, pipeFds[0], 0);
    posix_spawn_file_actions_addclose(&actions, pipeFds[1]);
    const char* argv[] = {"xargs", "-0", "mv", "-t", target.c_str(), "--", nullptr};
    const auto start = std::chrono::steady_clock::now();
    pid_t child = 0;
    if (posix_spawnp(&child, "xargs", &actions, nullptr, const_cast<char**>(argv), environ) != 0)
        std::abort();
    ::close(pipeFds[0]);
    std::string list;
    for (const std::string& path : paths) {
        list += path;
        list += '\0';
    }
    for (std::size_t written = 0; written < list.size();) {
        const ssize_t n = ::write(pipeFds[1], list.data() + written, list.size() - written);
        if (n <= 0)
            std::abort();
        written += static_cast<std::size_t>(n);
    }
    ::close(pipeFds[1]);
    int status = 0;
    ::waitpid(child, &status, 0);
    const double elapsed = seconds(start);
    posix_spawn_file_actions_destroy(&actions);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0 || !fs::is_empty(work + "/src")) {
        std::fprintf(stderr, "mv failed\n");
        std::exit(1);
    }
    return elapsed;
}

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

} // namespace

int main(int argc, char** argv) {
    const int count = argc > 1 ? std::atoi(argv[1]) : 10000;
    const int rounds = argc > 2 ? std::atoi(argv[2]) : 5;
    const std::string work = argc > 3 ? argv[3] : "/tmp/karv-move-bench";
    std::vector<double> ours, theirs;
    for (int round = 0; round < rounds; ++round) {
        ours.push_back(oursOnce(work, count));
        theirs.push_back(mvOnce(work, count));
    }
    fs::remove_all(work);
    std::printf("files: %d, rounds: %d\nmedian core batch move: %.1f ms\nmedian xargs mv -t: %.1f ms\n"
                "ratio (ours / mv): %.2f\n",
                count, rounds, median(ours) * 1000, median(theirs) * 1000, median(ours) / median(theirs));
}
