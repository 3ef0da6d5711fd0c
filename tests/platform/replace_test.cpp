// File replacement against what may stand at a target or beside it: links,
// pipes, folders that refuse new files, a file-size limit.
#ifndef _WIN32
#include <fcntl.h>
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
using brio::test::TempDir;
using brio::test::WriteFile;
using Names = std::vector<std::string>;

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

// Runs `body` in a child process (as an unprivileged user when `drop`).
int InChild(const std::function<int()>& body, bool drop = false) {
    pid_t pid = ::fork();
    if (pid == 0) {
        if (drop && ::geteuid() == 0 && (::setgid(65534) != 0 || ::setuid(65534) != 0)) _exit(90);
        _exit(body());
    }
    int status = 0;
    ::waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
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
        EXPECT_TRUE(S_ISLNK(Lstat(dir.File("chain.txt")).st_mode));
        EXPECT_TRUE(S_ISLNK(Lstat(dir.File("link.txt")).st_mode));
        EXPECT_EQ(Lstat(dir.File("a.txt")).st_ino, inode);
        // Abandoned, in place or beside: the old bytes stay, nothing is left.
        EXPECT_TRUE(WriteThrough(dir.File("a.txt"), "half", false));
        EXPECT_TRUE(WriteThrough(dir.File("tgt.txt"), "half", false));
        EXPECT_EQ(ReadFile(dir.File("b.txt")) + ReadFile(dir.File("tgt.txt")), "a.txtchain.txt");
        EXPECT_EQ(dir.Entries(), (Names{"a.txt", "b.txt", "chain.txt", "dangling.txt", "link.txt",
                                        "new.txt", "tgt.txt"}));
    }
}

// A link planted where the temporary file would go is never written through;
// the temporary file is its owner's alone.
TEST(FileReplacement, LinkAtTheTemporaryNameIsNotFollowed) {
    TempDir dir;
    PlatCreate result = PlatCreate::Created;
    ASSERT_EQ(::symlink(dir.File("made").c_str(), dir.File("planted").c_str()), 0);
    EXPECT_EQ(PlatCreateExclusive(dir.File("planted"), &result), nullptr);
    EXPECT_EQ(result, PlatCreate::Exists);
    EXPECT_EQ(::access(dir.File("made").c_str(), F_OK), -1);
    AtomicFile open;
    ASSERT_TRUE(WriteFile(dir.File("out.rtf"), "old"));
    ASSERT_TRUE(open.Open(dir.File("out.rtf").c_str()));
    struct stat info;
    ASSERT_EQ(::fstat(::fileno(open.Stream()), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u);
}

TEST(FileReplacement, PipeStaysAPipe) {
    TempDir dir;
    std::string fifo = dir.File("fifo");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    int reader = ::open(fifo.c_str(), O_RDONLY | O_NONBLOCK);
    ASSERT_GE(reader, 0);
    ASSERT_TRUE(WriteThrough(fifo, "through the pipe"));
    char buffer[64] = {};
    EXPECT_EQ(::read(reader, buffer, sizeof buffer), 16);
    EXPECT_STREQ(buffer, "through the pipe");
    ::close(reader);
    EXPECT_TRUE(S_ISFIFO(Lstat(fifo).st_mode));
    EXPECT_EQ(dir.Entries(), Names{"fifo"});
}

// A folder that takes no new file: its writable file is written in place.
TEST(FileReplacement, ReadOnlyFolderWithAWritableFile) {
    TempDir dir;
    std::string folder = dir.File("ro"), path = dir.File("ro/form.txt");
    ASSERT_EQ(::mkdir(folder.c_str(), 0755), 0);
    ASSERT_TRUE(WriteFile(path, "old"));
    ASSERT_EQ(::chmod(dir.Path().c_str(), 0755), 0);
    if (::geteuid() == 0) {
        ASSERT_EQ(::chown(folder.c_str(), 65534, 65534), 0);
        ASSERT_EQ(::chown(path.c_str(), 65534, 65534), 0);
    }
    ASSERT_EQ(::chmod(path.c_str(), 0644), 0);
    ASSERT_EQ(::chmod(folder.c_str(), 0555), 0);
    int code = InChild([&] { return WriteThrough(path, "new") ? 0 : 1; }, true);
    ::chmod(folder.c_str(), 0755);
    EXPECT_EQ(code, 0);
    EXPECT_EQ(ReadFile(path), "new");
    EXPECT_EQ(dir.Entries(), Names{"ro"});
}

// Past a file-size limit the write fails (the host ignores SIGXFSZ), the old
// file stays whole and no temporary file is left.
TEST(FileReplacement, FileSizeLimitLeavesTheOldFile) {
    for (bool linked : {false, true}) {
        SCOPED_TRACE(linked ? "hard-linked" : "replaced");
        TempDir dir;
        std::string path = dir.File("big.txt");
        ASSERT_TRUE(WriteFile(path, "old"));
        ASSERT_TRUE(!linked || ::link(path.c_str(), dir.File("other").c_str()) == 0);
        int code = InChild([&] {
            std::signal(SIGXFSZ, SIG_IGN);
            struct rlimit limit = {4096, 4096};
            if (::setrlimit(RLIMIT_FSIZE, &limit) != 0) return 3;
            return WriteThrough(path, std::string(100000, 'x')) ? 0 : 1;
        });
        EXPECT_EQ(code, 1);
        EXPECT_EQ(ReadFile(path), "old");
        EXPECT_EQ(dir.Entries().size(), linked ? 2u : 1u);
    }
}

}  // namespace
#endif
