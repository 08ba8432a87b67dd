#include "main/showLocation.h"

#include <filesystem>
#include <system_error>

namespace {

std::string g_show;

}  // namespace

void SetShow(const std::string& show) {
    g_show = show;
}

const std::string& GetShow() {
    return g_show;
}

std::string ShowPath() {
    if (g_show.empty()) return "";
    std::error_code error;
    const std::filesystem::path path = std::filesystem::absolute(g_show, error);
    return error ? g_show : path.lexically_normal().string();
}

ShowMounts MountsOf(const std::string& show) {
    if (show.empty()) return {"demo.dat", "data/", ""};
    namespace fs = std::filesystem;
    std::error_code error;
    const fs::path path(show);
    const fs::file_status status = fs::status(path, error);
    if (!fs::exists(status)) return {"", "", "'" + show + "' does not exist"};
    if (!fs::is_directory(status)) return {show, "", ""};

    // The folder is the show's working directory in all but name: the same two mounts, the same
    // rule that either one is enough.
    const fs::path archive = path / "demo.dat";
    const fs::path folder = path / "data";
    if (fs::exists(archive, error) || fs::is_directory(folder, error))
        return {archive.string(), folder.string() + "/", ""};
    if (fs::exists(path / "demo.xml", error))
        return {"", "",
                "'" + show +
                    "' holds neither demo.dat nor data/ (a show's loose files, demo.xml among them, go in "
                    "its data/ folder)"};
    return {"", "", "'" + show + "' holds neither demo.dat nor data/"};
}
