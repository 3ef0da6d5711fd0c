#include "files.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <random>
#include <system_error>

#include "brioutil.h"
#include "brioutil_host.h"
#include "cli.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace fs = std::filesystem;

namespace cli {

#ifdef _WIN32
namespace {

std::wstring Wide(const std::string& text) {
    int n = ::MultiByteToWideChar(CP_ACP, 0, text.c_str(), -1, nullptr, 0);
    std::wstring wide(n > 1 ? static_cast<size_t>(n - 1) : 0, L'\0');
    if (n > 1) ::MultiByteToWideChar(CP_ACP, 0, text.c_str(), -1, &wide[0], n);
    return wide;
}

// Past MAX_PATH a path is made absolute and given the \\?\ prefix, which
// turns off the length limit of the wide calls.
std::wstring WidePath(const std::string& path) {
    std::wstring wide = Wide(path);
    if (wide.size() < MAX_PATH - 20 || wide.compare(0, 4, L"\\\\?\\") == 0) return wide;
    DWORD n = ::GetFullPathNameW(wide.c_str(), 0, nullptr, nullptr);
    if (n == 0) return wide;
    std::wstring full(n, L'\0');
    full.resize(::GetFullPathNameW(wide.c_str(), n, &full[0], nullptr));
    for (auto& c : full)
        if (c == L'/') c = L'\\';
    if (full.compare(0, 2, L"\\\\") == 0) return L"\\\\?\\UNC\\" + full.substr(2);
    return L"\\\\?\\" + full;
}

}  // namespace

FILE* OpenFile(const std::string& path, const char* mode) {
    return ::_wfopen(WidePath(path).c_str(), Wide(mode).c_str());
}

bool RemoveFile(const std::string& path) {
    return ::DeleteFileW(WidePath(path).c_str()) != 0;
}
#else
FILE* OpenFile(const std::string& path, const char* mode) {
    return std::fopen(path.c_str(), mode);
}

bool RemoveFile(const std::string& path) {
    return std::remove(path.c_str()) == 0;
}
#endif

std::string MakeUniqueFolder(const std::string& prefix) {
#ifdef _WIN32
    // The user's own temporary folder is private; the name must still be new.
    std::random_device random;
    for (int attempt = 0; attempt < 100; ++attempt) {
        char suffix[16];
        std::snprintf(suffix, sizeof suffix, "%08x", static_cast<unsigned>(random()));
        std::string name = prefix + suffix;
        std::error_code ec;
        if (fs::create_directory(fs::u8path(name), ec)) return name;
        if (ec && ec != std::errc::file_exists) return "";
    }
    return "";
#else
    std::string name = prefix + "XXXXXX";
    std::vector<char> buffer(name.begin(), name.end());
    buffer.push_back('\0');
    if (!mkdtemp(buffer.data())) return "";
    return buffer.data();
#endif
}

WorkDir::~WorkDir() {
    if (path_.empty()) return;
    std::error_code ec;
    fs::remove_all(fs::u8path(path_), ec);
}

std::string WorkDir::File(const std::string& name) {
    if (path_.empty()) {
        std::error_code ec;
        fs::path temp = fs::temp_directory_path(ec);
        if (ec) Fail(kInput, "no temporary folder: " + ec.message());
        path_ = MakeUniqueFolder((temp / "brioutil-").u8string());
        if (path_.empty())
            Fail(kInput, temp.u8string() + ": cannot make a work folder: " + std::strerror(errno));
    }
    return (fs::u8path(path_) / fs::u8path(name)).u8string();
}

bool SameFile(const std::string& a, const std::string& b) {
    if (a == "-" || b == "-" || a.empty() || b.empty()) return false;
    // Compares the files' identities (device and inode), not their names.
    std::error_code ec;
    bool same = fs::equivalent(fs::u8path(a), fs::u8path(b), ec);
    return same && !ec;
}

void RefuseOverwrite(const std::vector<std::string>& inputs, const std::string& output,
                     const std::string& inPlaceOption) {
    for (const auto& input : inputs) {
        if (!SameFile(input, output)) continue;
        std::string name = input == output ? "" : " (" + input + ")";
        Fail(kInput, output + " is an input of this command" + name +
                         (inPlaceOption.empty() ? ": choose another output"
                                                : ": use " + inPlaceOption + " to replace it"));
    }
}

namespace {

std::string ParentOf(const std::string& path) {
    fs::path parent = fs::u8path(path).parent_path();
    return parent.empty() ? "." : parent.u8string();
}

bool IsDirectory(const std::string& path) {
    std::error_code ec;
    return fs::is_directory(fs::u8path(path), ec);
}

}  // namespace

void CheckOutputFile(const std::string& path, const std::string& option) {
    if (path.empty()) Fail(kInput, option + " needs a file name, not an empty one");
    if (path == "-") return;
    if (IsDirectory(path)) Fail(kInput, path + ": is a folder, not a file");
    std::string parent = ParentOf(path);
    if (!IsDirectory(parent))
        Fail(kInput, path + ": the folder " + parent + " does not exist (it is not created)");
}

namespace {

// The folder without a trailing separator ("guide/" is "guide").
fs::path FolderPath(const std::string& folder) {
    fs::path path = fs::u8path(folder).lexically_normal();
    if (path.filename().empty() && path.has_relative_path()) path = path.parent_path();
    return path;
}

// A symbolic link, a file with other hard links or a special file: a
// rename over it would replace the link or split the file from its names.
bool NeedsWriteThrough(const fs::path& path) {
    std::error_code ec;
    fs::file_status status = fs::symlink_status(path, ec);
    if (ec || status.type() == fs::file_type::not_found) return false;
    if (status.type() != fs::file_type::regular) return true;
    return fs::hard_link_count(path, ec) > 1 && !ec;
}

}  // namespace

void CheckOutputFolder(const std::string& path, const std::string& option) {
    if (path.empty()) Fail(kInput, option + " needs a folder name, not an empty one");
    std::error_code ec;
    if (fs::exists(fs::u8path(path), ec) && !IsDirectory(path))
        Fail(kInput, path + ": exists and is not a folder");
    std::string parent = ParentOf(FolderPath(path).u8string());
    if (!IsDirectory(path) && !IsDirectory(parent))
        Fail(kInput, path + ": the folder " + parent + " does not exist (it is not created)");
}

Staging::Staging(const std::string& folder) : folder_(folder) {
    fs::path target = FolderPath(folder);
    whole_ = !IsDirectory(folder);
    std::string prefix =
        whole_ ? ParentOf(target.u8string()) + "/." + target.filename().u8string() + ".brioutil-"
               : (target / ".brioutil-").u8string();
    stage_ = MakeUniqueFolder(prefix);
    if (stage_.empty()) Fail(kInput, folder + ": cannot write here: " + std::strerror(errno));
}

Staging::~Staging() {
    if (stage_.empty()) return;
    std::error_code ec;
    fs::remove_all(fs::u8path(stage_), ec);
}

void Staging::Write(const std::string& relative, const std::string& bytes) {
    std::string shown = (fs::u8path(folder_) / fs::u8path(relative)).generic_u8string();
    fs::path path = fs::u8path(stage_) / fs::u8path(relative);
    std::error_code ec;
    fs::create_directories(path.parent_path(), ec);
    FILE* f = OpenFile(path.u8string(), "wb");
    if (!f) Fail(kInput, shown + ": cannot create: " + std::strerror(errno));
    bool ok = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    ok = std::fflush(f) == 0 && ok;
    ok = std::fclose(f) == 0 && ok;
    if (!ok) Fail(kInput, shown + ": write error");
    written_.push_back(relative);
}

void Staging::Commit() {
    std::error_code ec;
    if (whole_) {
#ifndef _WIN32
        // The stage was made private; the folder it becomes is an ordinary one.
        mode_t mask = umask(0);
        umask(mask);
        chmod(stage_.c_str(), 0777 & ~mask);
#endif
        fs::rename(fs::u8path(stage_), FolderPath(folder_), ec);
        if (ec) Fail(kInput, folder_ + ": cannot create: " + ec.message());
        stage_.clear();
        return;
    }
    // A folder in the way would stop the moves half way: check them all first.
    for (const auto& relative : written_)
        if (IsDirectory((fs::u8path(folder_) / fs::u8path(relative)).u8string()))
            Fail(kInput, (fs::u8path(folder_) / fs::u8path(relative)).generic_u8string() +
                             ": is a folder, not a file");
    for (const auto& relative : written_) {
        fs::path from = fs::u8path(stage_) / fs::u8path(relative);
        fs::path to = fs::u8path(folder_) / fs::u8path(relative);
        fs::create_directories(to.parent_path(), ec);
        if (NeedsWriteThrough(to)) {
            // A link or a shared file stays what it is: the library's
            // replacement writes the file it stands for.
            std::string bytes = ReadInput(from.u8string());
            int32_t status = BrioHostReplaceFile(to.u8string().c_str(), bytes.data(), bytes.size());
            if (status != BRIO_OK)
                Fail(kInput, to.generic_u8string() + ": cannot replace: " + std::strerror(errno));
            continue;
        }
#ifndef _WIN32
        // A replaced file keeps its permissions.
        struct stat info;
        if (::stat(to.c_str(), &info) == 0) ::chmod(from.c_str(), info.st_mode & 07777);
#endif
        fs::rename(from, to, ec);
        if (ec) Fail(kInput, to.generic_u8string() + ": cannot replace: " + ec.message());
    }
}

std::string Printable(const std::string& text) {
    std::string out;
    char buffer[8];
    for (unsigned char c : text) {
        if (c < 0x20 || c == 0x7F) {
            std::snprintf(buffer, sizeof buffer, "\\x%02X", c);
            out += buffer;
        } else {
            out += static_cast<char>(c);
        }
    }
    return out;
}

bool IsFolder(const std::string& path) {
    std::error_code ec;
    return fs::is_directory(fs::u8path(path), ec);
}

bool Exists(const std::string& path) {
    std::error_code ec;
    return fs::exists(fs::u8path(path), ec);
}

std::vector<std::string> RtfFilesUnder(const std::string& folder) {
    std::vector<std::string> files;
    std::error_code ec;
    for (fs::recursive_directory_iterator it(fs::u8path(folder), ec), end; !ec && it != end;
         it.increment(ec)) {
        if (!it->is_regular_file(ec)) continue;
        std::string ext = it->path().extension().u8string();
        for (auto& c : ext) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        if (ext == ".rtf") files.push_back(it->path().generic_u8string());
    }
    if (ec) Fail(kInput, folder + ": cannot list: " + ec.message());
    std::sort(files.begin(), files.end());
    return files;
}

}  // namespace cli
