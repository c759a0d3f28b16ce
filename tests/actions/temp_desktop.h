// A throw-away desktop for the tests: a temporary directory tree used as the
// XDG homes, with small programs registered as URL-scheme handlers that write
// every argument they get to a log file.
#pragma once

#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

namespace quillmoss::testing {

namespace fs = std::filesystem;

class TempDir {
public:
    TempDir() {
        std::string pattern = (fs::temp_directory_path() / "quillmoss-actions-XXXXXX").string();
        if (mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
        path_ = pattern;
    }
    ~TempDir() {
        std::error_code ignored;
        fs::remove_all(path_, ignored);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const fs::path& path() const { return path_; }

private:
    fs::path path_;
};

inline void writeFile(const fs::path& path, const std::string& content, bool executable = false) {
    fs::create_directories(path.parent_path());
    {
        std::ofstream out(path, std::ios::binary | std::ios::trunc);
        out << content;
    }
    if (executable) chmod(path.c_str(), 0755);
}

inline std::string readFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream content;
    content << in.rdbuf();
    return content.str();
}

// Writes an executable /bin/sh script and returns its path.
inline fs::path writeScript(const fs::path& dir, const std::string& name, const std::string& body) {
    fs::path path = dir / name;
    writeFile(path, "#!/bin/sh\n" + body, true);
    return path;
}

class TempDesktop {
public:
    TempDesktop() {
        for (const char* dir : {"config", "system-config", "data/applications", "system-data", "bin",
                                "log", "runtime"}) {
            fs::create_directories(root() / dir);
        }
        chmod((root() / "runtime").c_str(), 0700);
    }

    const fs::path& root() const { return dir_.path(); }

    // Registers a handler program `name` as the default for each MIME type
    // (e.g. "x-scheme-handler/magnet"); it appends each argument it gets as a
    // line to log/<name>.log.
    void registerHandler(const std::string& name, const std::vector<std::string>& mimeTypes) {
        fs::path program = writeScript(root() / "bin", name,
                                       "for a in \"$@\"; do printf '%s\\n' \"$a\" >> '" +
                                           (root() / "log" / (name + ".log")).string() + "'; done\n");
        std::string types;
        for (const auto& type : mimeTypes) {
            types += type + ";";
            defaults_[type] = name + ".desktop";
        }
        writeFile(root() / "data/applications" / (name + ".desktop"),
                  "[Desktop Entry]\nType=Application\nName=" + name + "\nExec=" + program.string() +
                      " %u\nMimeType=" + types + "\nNoDisplay=true\n");
        std::string list = "[Default Applications]\n";
        for (const auto& [type, desktop] : defaults_) list += type + "=" + desktop + "\n";
        writeFile(root() / "config/mimeapps.list", list);
    }

    // Everything handler `name` has received so far, one argument a line.
    std::string received(const std::string& name) const {
        return readFile(root() / "log" / (name + ".log"));
    }

    // Waits (bounded) until handler `name` has received `line`.
    bool waitForReceived(const std::string& name, const std::string& line,
                         std::chrono::milliseconds limit = std::chrono::seconds(20)) const {
        auto deadline = std::chrono::steady_clock::now() + limit;
        while (std::chrono::steady_clock::now() < deadline) {
            if (received(name).find(line + "\n") != std::string::npos) return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        return false;
    }

    // Points this process (and so every program it starts) at this desktop
    // alone; the machine's own registrations are not consulted.
    void exportEnvironment() const {
        setenv("XDG_CONFIG_HOME", (root() / "config").c_str(), 1);
        setenv("XDG_CONFIG_DIRS", (root() / "system-config").c_str(), 1);
        setenv("XDG_DATA_HOME", (root() / "data").c_str(), 1);
        setenv("XDG_DATA_DIRS", (root() / "system-data").c_str(), 1);
        setenv("XDG_RUNTIME_DIR", (root() / "runtime").c_str(), 1);
        for (const char* name : {"XDG_CURRENT_DESKTOP", "XDG_MENU_PREFIX", "KDE_FULL_SESSION",
                                 "GNOME_DESKTOP_SESSION_ID", "MATE_DESKTOP_SESSION_ID", "DESKTOP_SESSION",
                                 "BROWSER", "DEFAULT_BROWSER"}) {
            unsetenv(name);
        }
    }

private:
    TempDir dir_;
    std::map<std::string, std::string> defaults_;
};

}  // namespace quillmoss::testing
