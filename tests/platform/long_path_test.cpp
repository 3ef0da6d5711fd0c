// A file replaced in a shallow folder and deep in folders, past the 260
// characters of a classic Windows path.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#ifdef _WIN32
#define WIN32_LEAN_AND_MEAN
#include <windows.h>
#else
#include <sys/stat.h>
#include <unistd.h>
#endif

#include "platform/platform.h"
#include "test_support.h"

namespace {

#ifdef _WIN32
std::wstring LongWide(const std::string& path) {
    std::wstring wide = L"\\\\?\\";
    for (char c : path) wide += c == '/' ? L'\\' : static_cast<wchar_t>(c);
    return wide;
}
bool MakeFolder(const std::string& path) {
    return ::CreateDirectoryW(LongWide(path).c_str(), nullptr) != 0;
}
void RemoveFolder(const std::string& path) {
    ::RemoveDirectoryW(LongWide(path).c_str());
}
#else
bool MakeFolder(const std::string& path) {
    return ::mkdir(path.c_str(), 0755) == 0;
}
void RemoveFolder(const std::string& path) {
    ::rmdir(path.c_str());
}
#endif

std::string ReadThrough(const std::string& path) {
    brio::UniqueFile in(brio::PlatFileOpen(path.c_str(), "rb"));
    std::string bytes(in ? static_cast<size_t>(brio::FileLength(in.get())) : 0, '\0');
    return in && brio::ReadAt(in.get(), 0, &bytes[0], bytes.size()) ? bytes : "<unread>";
}

// Only a commit replaces the file, in a shallow folder as deep in folders.
TEST(PlatformFiles, AtomicFileReplacesOnlyOnCommitAlsoPastTheClassicPathLimit) {
    brio::test::TempDir dir;
    std::vector<std::string> folders = {dir.Path()};
    while (folders.back().size() < 320) {
        folders.push_back(folders.back() + "/" + std::string(40, 'd'));
        ASSERT_TRUE(MakeFolder(folders.back())) << folders.back();
    }
    for (const std::string& folder : {folders.front(), folders.back()}) {
        std::string target = folder + "/out.txt";
        for (const char* text : {"first", "gone", "new\r\ncontent"}) {
            brio::AtomicFile file;
            ASSERT_TRUE(file.Open(target.c_str())) << text;
            EXPECT_TRUE(file.Write(text));
            EXPECT_TRUE(text[0] == 'g' || file.Commit()) << text;
        }
        EXPECT_EQ(ReadThrough(target), "new\r\ncontent");
    }
    EXPECT_EQ(dir.Entries(), (std::vector<std::string>{folders[1].substr(dir.Path().size() + 1),
                                                       "out.txt"}));  // nothing left beside
    brio::AtomicFile nowhere;
    EXPECT_FALSE(nowhere.Open(dir.File("missing/out.txt").c_str()));
    EXPECT_FALSE(nowhere.Commit());
    EXPECT_TRUE(brio::PlatRemoveFile((folders.back() + "/out.txt").c_str()));
    for (size_t i = folders.size() - 1; i > 0; --i) RemoveFolder(folders[i]);
}

}  // namespace
