// From the end of the description check to a painted message box, for hostile descriptions whose
// product name or version is megabytes long. Every box must appear within 100 ms of the check's
// end, whatever the input. Offscreen, so it runs without a display:
//   box_latency_bench
#include "ui/qt/qt_message_boxes.h"
#include "workflows/update_session.h"

#include <QApplication>
#include <QTimer>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

namespace {

namespace stdfs = std::filesystem;
using Clock = std::chrono::steady_clock;

double milliseconds(Clock::duration d) {
    return std::chrono::duration<double, std::milli>(d).count();
}

// The real Qt box, timed: from the call (the check has ended) to the box laid out and painted.
class TimedBoxes final : public corvelan::workflows::MessageBoxes {
public:
    corvelan::workflows::BoxAnswer show(const std::string &text, const std::string &title,
                                        corvelan::workflows::BoxStyle style) override {
        const auto called = Clock::now();
        textBytes = text.size();
        QTimer::singleShot(0, [this, called] {
            if (QWidget *box = QApplication::activeModalWidget()) {
                (void)box->grab(); // paints it
                boxMs = milliseconds(Clock::now() - called);
                box->close();
            }
        });
        return m_real.show(text, title, style);
    }
    double boxMs = -1;
    size_t textBytes = 0;

private:
    corvelan::qtui::QtMessageBoxes m_real{nullptr};
};

std::string textOf(size_t megabytes, bool splitByComments) {
    std::string text;
    const std::string piece(1000, 'v');
    while (text.size() < (megabytes << 20))
        text += splitByComments ? piece + "<!-- -->" : piece;
    return text;
}

} // namespace

int main(int argc, char *argv[]) {
    if (!std::getenv("QT_QPA_PLATFORM")) ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
    QApplication app(argc, argv);
    const stdfs::path prefix = stdfs::temp_directory_path() / "corvelan-box-bench";
    const stdfs::path repository =
        prefix / "drive_c/ProgramData/Schneider Electric/PTK Generic DTM/DDXMLRepository";
    stdfs::create_directories(repository / "pictures");
    std::ofstream(repository / "DDXMLRepository.xml") << "<DDXMLRepository/>";

    struct Input {
        const char *name;
        std::string body;
    } inputs[] = {
        {"ordinary", "<productName>QVXTSR7700</productName><version>2.3.0</version>"},
        {"2 MB productName", "<productName>" + textOf(2, false) + "</productName>"},
        {"2 MB version",
         "<productName>QVXTSR7700</productName><version>" + textOf(2, false) + "</version>"},
        {"20 MB version split by comments",
         "<productName>QVXTSR7700</productName><version>" + textOf(20, true) + "</version>"},
    };
    std::printf("%-34s %12s %12s %12s\n", "description", "check ms", "box ms", "text bytes");
    bool allFast = true;
    for (const Input &input : inputs) {
        const stdfs::path file = prefix / "drive_c/picked.xml";
        std::ofstream(file, std::ios::binary)
            << "<ISO15745Profile>" << input.body << "</ISO15745Profile>";
        auto drives = corvelan::DriveMap::forPrefix(prefix.string());
        corvelan::workflows::UpdateSession session(drives.value());
        struct : corvelan::workflows::ListView {
            void addLine(const std::string &) override {}
            void clearList() override {}
            void setInstallEnabled(bool) override {}
        } view;
        session.startUp(view);
        TimedBoxes boxes;
        const auto start = Clock::now();
        session.installDtm("C:\\picked.xml", view, boxes);
        const double total = milliseconds(Clock::now() - start);
        std::printf("%-34s %12.1f %12.1f %12zu\n", input.name, total - boxes.boxMs, boxes.boxMs,
                    boxes.textBytes);
        allFast = allFast && boxes.boxMs >= 0 && boxes.boxMs < 100;
    }
    stdfs::remove_all(prefix);
    std::printf("every box within 100 ms of the check's end: %s\n", allFast ? "yes" : "NO");
    return allFast ? 0 : 1;
}
