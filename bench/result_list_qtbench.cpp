// Fills the main window's result list with a million rows the way a run does (row by row, with the
// run's event pump) and reports the time, the longest stretch without event handling, the time to
// scroll to the last row and repaint, and the resident memory.
// usage: result_list_qtbench [ROWS]   (QT_QPA_PLATFORM=offscreen works)
#include "gui/MainWindow.h"
#include "gui/ResultListModel.h"

#include <cstdio>
#include <fstream>
#include <string>

#include <QAbstractItemView>
#include <QApplication>
#include <QElapsedTimer>
#include <QTimer>

namespace {

class NoQuestions : public karv::Questioner {
public:
    void showMessage(std::string_view, std::string_view) override {}
    std::string chooseFolder(std::string_view, const std::string&) override { return {}; }
};

long residentKiB() {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind("VmRSS:", 0) == 0)
            return std::stol(line.substr(6));
    return -1;
}

} // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    const long rows = argc > 1 ? std::stol(argv[1]) : 1'000'000;
    const long scrollEvery = argc > 2 ? std::stol(argv[2]) : 1000;
    karv::AppState state;
    NoQuestions questions;
    karv::SteadyClock clock;
    karv::MainWindow window(state, questions, clock);
    window.show();
    app.processEvents();
    const long before = residentKiB();

    // A timer that must keep firing while the rows arrive: the longest gap shows responsiveness.
    QElapsedTimer sinceTick;
    sinceTick.start();
    qint64 longestGap = 0;
    QTimer ticker;
    QObject::connect(&ticker, &QTimer::timeout,
                     [&] { longestGap = std::max(longestGap, sinceTick.restart()); });
    ticker.start(5);

    QElapsedTimer total;
    total.start();
    auto& model = window.resultModel();
    for (long i = 0; i < rows; ++i) {
        karv::ResultRow row;
        row.name = "file ";
        row.name += std::to_string(i);
        row.name += ".txt";
        row.sizeText = karv::sizeText(static_cast<std::uint64_t>(i));
        row.timeText = "2014-03-01 09:05:07";
        row.countText = "0";
        row.folder = "/data/collection/folder ";
        row.folder += std::to_string(i / 500);
        row.folder += "/";
        model.append(std::move(row));
        window.pump();
        if (scrollEvery > 0 && i % scrollEvery == 0)
            window.scrollToLastRow();
    }
    model.flush();
    const qint64 fillMs = total.elapsed();

    QElapsedTimer paint;
    paint.start();
    window.scrollToLastRow();
    window.findChild<QAbstractItemView*>(QString::fromUtf8("超级列表框"))->viewport()->grab();
    const qint64 paintMs = paint.elapsed();

    std::printf(
        "rows: %ld\nfill with pumps: %lld ms (%.2f us/row)\nlongest gap between timer ticks: %lld ms\n"
        "scroll to last row + repaint: %lld ms\nresident memory: %ld MiB before, %ld MiB after\n",
        rows, static_cast<long long>(fillMs),
        1000.0 * static_cast<double>(fillMs) / static_cast<double>(rows), static_cast<long long>(longestGap),
        static_cast<long long>(paintMs), before / 1024, residentKiB() / 1024);
    return 0;
}
