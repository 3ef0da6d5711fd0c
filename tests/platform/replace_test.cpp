// File replacement through links, in folders that refuse new files, past size limits.
#ifndef _WIN32
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <functional>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "test_support.h"

namespace {

using namespace brio;
using brio::test::ReadFile;
using brio::test::RunUnprivileged;
using brio::test::TempDir;
using brio::test::WriteFile;

bool WriteThrough(const std::string& path, const std::string& bytes, bool commit = true) {
    AtomicFile file;
    return file.Open(path.c_str()) && file.Write(bytes.data(), bytes.size()) &&
           (!commit || file.Commit());
}

struct stat Lstat(const std::string& path) {
    struct stat info = {};
    EXPECT_EQ(::lstat(path.c_str(), &info), 0) << path;
    return info;
}

// Links lead to the file they name; a file with other hard links is written
// in place, by AtomicFile and PlatReplaceFile alike; mode and owner stay.
TEST(FileReplacement, LinksHardLinksModeAndOwnerStay) {
    for (bool finished : {false, true}) {
        SCOPED_TRACE(finished ? "PlatReplaceFile" : "AtomicFile");
        TempDir dir;
        ASSERT_TRUE(WriteFile(dir.File("tgt.txt"), "old"));
        ASSERT_TRUE(WriteFile(dir.File("a.txt"), "old and longer"));
        ASSERT_EQ(::link(dir.File("a.txt").c_str(), dir.File("b.txt").c_str()), 0);
        ASSERT_EQ(::symlink("tgt.txt", dir.File("link.txt").c_str()), 0);
        ASSERT_EQ(::symlink("link.txt", dir.File("chain.txt").c_str()), 0);
        ASSERT_EQ(::symlink(dir.File("new.txt").c_str(), dir.File("dangling.txt").c_str()), 0);
        ASSERT_EQ(::chmod(dir.File("tgt.txt").c_str(), 0640), 0);
        bool root = ::geteuid() == 0;
        ASSERT_TRUE(!root || ::chown(dir.File("tgt.txt").c_str(), 1234, 5678) == 0);
        ino_t inode = Lstat(dir.File("a.txt")).st_ino;
        // What is written, and where the bytes must land.
        const std::pair<std::string, std::string> cases[] = {{"link.txt", "tgt.txt"},
                                                             {"chain.txt", "tgt.txt"},
                                                             {"dangling.txt", "new.txt"},
                                                             {"a.txt", "b.txt"}};
        for (const auto& [written, file] : cases) {
            if (finished) {
                ASSERT_TRUE(WriteFile(dir.File("work"), written));
                EXPECT_TRUE(PlatReplaceFile(dir.File("work").c_str(), dir.File(written).c_str()));
            } else {
                ASSERT_TRUE(WriteThrough(dir.File(written), written));
            }
            EXPECT_EQ(ReadFile(dir.File(file)), written);
        }
        struct stat info = Lstat(dir.File("tgt.txt"));
        EXPECT_EQ(info.st_mode & 07777, 0640u);
        EXPECT_TRUE(!root || (info.st_uid == 1234u && info.st_gid == 5678u));
        EXPECT_EQ(Lstat(dir.File("a.txt")).st_ino, inode);
        // Abandoned, in place or beside: the old bytes stay, nothing is left.
        EXPECT_TRUE(WriteThrough(dir.File("a.txt"), "half", false));
        EXPECT_TRUE(WriteThrough(dir.File("tgt.txt"), "half", false));
        EXPECT_EQ(ReadFile(dir.File("b.txt")) + ReadFile(dir.File("tgt.txt")), "a.txtchain.txt");
        EXPECT_EQ(dir.Entries(),
                  (std::vector<std::string>{"a.txt", "b.txt", "chain.txt", "dangling.txt",
                                            "link.txt", "new.txt", "tgt.txt"}));
    }
}

// A link planted where the temporary file would go is never written through.
TEST(FileReplacement, LinkAtTheTemporaryNameIsNotFollowed) {
    TempDir dir;
    PlatCreate result = PlatCreate::Created;
    ASSERT_EQ(::symlink(dir.File("made").c_str(), dir.File("planted").c_str()), 0);
    EXPECT_EQ(PlatCreateExclusive(dir.File("planted"), &result), nullptr);
    EXPECT_EQ(result, PlatCreate::Exists);
    EXPECT_EQ(::access(dir.File("made").c_str(), F_OK), -1);
    // The temporary file is its owner's alone until it is complete.
    AtomicFile open;
    ASSERT_TRUE(WriteFile(dir.File("out.rtf"), "old"));
    ASSERT_TRUE(open.Open(dir.File("out.rtf").c_str()));
    struct stat info;
    ASSERT_EQ(::fstat(::fileno(open.Stream()), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u);
}

// A read-only folder's writable file is written in place; past a size limit
// (SIGXFSZ ignored) the write fails and the old file stays whole, linked or not.
TEST(FileReplacement, RestrictedWritesKeepTheFileWhole) {
    enum { kReadOnlyFolder, kSizeLimit, kSizeLimitLinked };
    for (int c : {kReadOnlyFolder, kSizeLimit, kSizeLimitLinked}) {
        SCOPED_TRACE(c);
        TempDir dir;
        std::string folder = dir.File("ro"), path = dir.File("ro/f.txt");
        ASSERT_EQ(::mkdir(folder.c_str(), 0755), 0);
        ASSERT_TRUE(WriteFile(path, "old"));
        ASSERT_TRUE(c != kSizeLimitLinked || ::link(path.c_str(), dir.File("ro/b").c_str()) == 0);
        ASSERT_EQ(::chmod(dir.Path().c_str(), 0755), 0);
        ASSERT_TRUE(::geteuid() != 0 || (::chown(folder.c_str(), 65534, 65534) == 0 &&
                                         ::chown(path.c_str(), 65534, 65534) == 0));
        ASSERT_EQ(::chmod(path.c_str(), 0644), 0);
        ASSERT_EQ(::chmod(folder.c_str(), c == kReadOnlyFolder ? 0555 : 0755), 0);
        int code = RunUnprivileged([&] {
            std::signal(SIGXFSZ, SIG_IGN);
            struct rlimit limit = {4096, 4096};
            if (c != kReadOnlyFolder && ::setrlimit(RLIMIT_FSIZE, &limit) != 0) return 3;
            return WriteThrough(path, c ? std::string(100000, 'x') : "new") ? 0 : 1;
        });
        ::chmod(folder.c_str(), 0755);
        EXPECT_EQ(code, c == kReadOnlyFolder ? 0 : 1);
        EXPECT_EQ(ReadFile(path), c == kReadOnlyFolder ? "new" : "old");
        EXPECT_EQ(brio::test::ListFiles(folder).size(), c == kSizeLimitLinked ? 2u : 1u);
    }
}

}  // namespace
#endif
