// Prints the start-up listing of the repository the tool would open, one line per line of List1
// (or the two status lines), as UTF-8, and exits 0. For black-box checks of either flavour:
//   WINEPREFIX=/path/to/prefix corvelan-catalogue-probe        (Linux)
//   wine corvelan-catalogue-probe.exe                          (Windows, or a Wine prefix)
#include "platform/console.h"
#include "platform/drive_map.h"
#include "workflows/update_session.h"

#include <string>
#include <vector>

namespace {

class PrintedList final : public corvelan::workflows::ListView {
public:
    void addLine(const std::string &line) override { m_text += line + "\n"; }
    void clearList() override { m_text.clear(); }
    void setInstallEnabled(bool) override {}
    [[nodiscard]] const std::string &text() const { return m_text; }

private:
    std::string m_text;
};

} // namespace

int main() {
    auto drives = corvelan::DriveMap::fromEnvironment();
    if (!drives) return 2; // an unusable WINEPREFIX: no listing at all
    corvelan::workflows::UpdateSession session(drives.value());
    PrintedList list;
    session.startUp(list);
    return corvelan::writeStandardOutput(list.text()) ? 0 : 1;
}
