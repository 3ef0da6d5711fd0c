// A file replaced in a shallow folder and deep in folders, past the 260
// characters of a classic Windows path.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "test_support.h"

namespace {

// A folder's name as the system takes it: on Windows in the long form, which
// may pass 260 characters.
std::filesystem::path Native(const std::string& path) {
#ifdef _WIN32
    std::wstring wide = L"\\\\?\\";
    for (char c : path) wide += c == '/' ? L'\\' : static_cast<wchar_t>(c);
    return wide;
#else
    return path;
#endif
}

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
        ASSERT_TRUE(std::filesystem::create_directory(Native(folders.back()))) << folders.back();
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
    for (size_t i = folders.size() - 1; i > 0; --i) std::filesystem::remove(Native(folders[i]));
}

}  // namespace
