#include "support/repository.h"

#include "catalogue/repository.h"

namespace corvelan::test {

std::string profile(std::string_view body, std::string_view rootAttributes) {
    return "<?xml version=\"1.0\"?>\n<ISO15745Profile" + std::string(rootAttributes) + ">" +
           std::string(body) + "</ISO15745Profile>\n";
}

std::string description(std::string_view version) {
    return profile("<productName>QVXTSR7700</productName><version>" + std::string(version) +
                   "</version>");
}

std::vector<std::string> devicePart(const TempPrefix &prefix) {
    std::vector<std::string> out{readFile(prefix.catalogueFile())};
    for (const catalogue::InstalledFile &file : catalogue::kInstalledFiles) {
        const std::string host = prefix.drives().hostPath(file.destination).value();
        out.push_back(fileExists(host) ? readFile(host) : "(absent)");
    }
    return out;
}

std::string pictureBytes(std::string_view name) {
    return "picture " + std::string(name);
}

Repository::Repository(std::string_view catalogue, std::string_view picturesName)
    : prefix(true, picturesName), m_picturesName(picturesName) {
    writeFile(prefix.catalogueFile(), catalogue);
    for (const char *picture : kPictures)
        writeFile(tool / picture, pictureBytes(picture));
    writeFile(prefix / "drive_c/dtm.xml", description());
}

std::string Repository::pictures() const {
    return prefix.repositoryDir() + "/" + m_picturesName;
}

workflows::ToolFolder Repository::toolFolder() const {
    return [folder = tool.path()]() -> Result<std::string> { return folder; };
}

workflows::UpdateSession Repository::session(bool elevated) {
    return workflows::UpdateSession(prefix.drives(), toolFolder(), elevated, log);
}

} // namespace corvelan::test
