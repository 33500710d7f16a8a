// Process start to a painted main window, on the offscreen platform, for catalogues of several
// sizes. The program starts itself as the tool would start: a new process that builds the main
// window (the start-up check included) and ends at its first paint.
//   startup_bench [entries ...]     (default: 1000 10000 200000)
#include "platform/process.h"
#include "support/child.h"
#include "ui/qt/update_tool.h"

#include <QApplication>
#include <QEvent>
#include <QListWidget>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace {

namespace stdfs = std::filesystem;

class FirstPaint : public QObject {
public:
    bool eventFilter(QObject *, QEvent *event) override {
        if (event->type() == QEvent::Paint) ::_exit(0); // painted: the measure ends here
        return false;
    }
};

int runTool() {
    int argc = 1;
    char name[] = "startup_bench";
    char *argv[] = {name, nullptr};
    QApplication app(argc, argv);
    corvelan::qtui::UpdateTool window(corvelan::DriveMap::fromEnvironment().value());
    FirstPaint filter;
    window.findChild<QListWidget *>(QStringLiteral("List1"))
        ->viewport()
        ->installEventFilter(&filter);
    window.show();
    return QApplication::exec();
}

std::string makeCatalogue(int entries) {
    std::string xml = "<?xml version=\"1.0\" encoding=\"utf-8\"?>\r\n<DDXMLRepository>\r\n";
    for (int i = 0; i < entries; ++i) {
        const std::string n = std::to_string(i);
        xml += "<File DDXMLFile=\"D" + n + ".xml\" Filename=\"D" + n + ".xml\" Fileversion=\"1." +
               n + "\" ProductName=\"P" + n + "\" Vendorname=\"42\" ProductID=\"Product " + n +
               "\" ImageLarge=\"p/" + n + ".jpg\" ImageSmall=\"p/" + n + "s.ico\" ImageIcon=\"p/" +
               n +
               "l.ico\" CompanyLogo=\"p/v.jpg\" ImageCompanyIcon=\"p/v.ico\" CAPPLogo=\"p/"
               "TA.jpg\"/>\r\n";
    }
    return xml + "</DDXMLRepository>\r\n";
}

// Process start to first paint of the tool, on the repository of `prefix`.
double startOnce(const stdfs::path &prefix) {
    const auto start = std::chrono::steady_clock::now();
    const auto run = corvelan::test::runSelf(
        {"--tool"}, {"QT_QPA_PLATFORM=offscreen", "WINEPREFIX=" + prefix.string(),
                     "XDG_RUNTIME_DIR=" + (prefix / "runtime").string()});
    if (run.exitCode != 0) return -1;
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
        .count();
}

} // namespace

int main(int argc, char **argv) {
    if (argc > 1 && std::string(argv[1]) == "--tool") return runTool();
    std::vector<int> sizes;
    for (int i = 1; i < argc; ++i)
        sizes.push_back(std::atoi(argv[i]));
    if (sizes.empty()) sizes = {1000, 10000, 200000};
    const stdfs::path prefix = stdfs::temp_directory_path() / "corvelan-startup-bench";
    const stdfs::path repository =
        prefix / "drive_c/ProgramData/Schneider Electric/PTK Generic DTM/DDXMLRepository";
    stdfs::create_directories(repository / "pictures");
    stdfs::create_directories(prefix / "runtime");
    stdfs::permissions(prefix / "runtime", stdfs::perms::owner_all);
    std::printf("%-9s %8s %12s %12s\n", "entries", "MB", "median ms", "best ms");
    for (const int entries : sizes) {
        const std::string catalogue = makeCatalogue(entries);
        std::ofstream(repository / "DDXMLRepository.xml", std::ios::binary) << catalogue;
        std::vector<double> times;
        for (int run = 0; run < 7; ++run)
            times.push_back(startOnce(prefix));
        std::sort(times.begin(), times.end());
        std::printf("%-9d %8.1f %12.1f %12.1f\n", entries,
                    static_cast<double>(catalogue.size()) / 1e6, times[times.size() / 2],
                    times.front());
    }
    stdfs::remove_all(prefix);
    return 0;
}
