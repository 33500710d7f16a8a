// How List1's kind of list fills with many lines: one item at a time, all items in one call (what
// the main window does), and a string list model, for 50,000 to 200,000 lines.
#include <QApplication>
#include <QListView>
#include <QListWidget>
#include <QStringListModel>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

double since(Clock::time_point start) {
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

QStringList asItems(const std::vector<std::string> &lines) {
    QStringList items;
    items.reserve(static_cast<qsizetype>(lines.size()));
    for (const std::string &line : lines)
        items << QString::fromStdString(line);
    return items;
}

} // namespace

int main(int argc, char **argv) {
    if (!std::getenv("QT_QPA_PLATFORM")) ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
    QApplication app(argc, argv);
    std::printf("%-8s %14s %14s %14s\n", "lines", "addItem ms", "addItems ms", "model ms");
    for (const int count : {50'000, 100'000, 200'000}) {
        std::vector<std::string> lines;
        for (int i = 0; i < count; ++i)
            lines.push_back("Product " + std::to_string(i) + "  Revision: 1." + std::to_string(i));

        QListWidget one;
        one.setUniformItemSizes(true);
        auto start = Clock::now();
        for (const std::string &line : lines)
            one.addItem(QString::fromStdString(line));
        const double oneByOne = since(start);

        QListWidget all;
        all.setUniformItemSizes(true);
        start = Clock::now();
        all.addItems(asItems(lines));
        const double inOneCall = since(start);

        QListView view;
        QStringListModel model;
        view.setUniformItemSizes(true);
        start = Clock::now();
        model.setStringList(asItems(lines));
        view.setModel(&model);
        const double withModel = since(start);

        std::printf("%-8d %14.1f %14.1f %14.1f\n", count, oneByOne, inOneCall, withModel);
    }
    return 0;
}
