// The tool under a file-size limit: a clear error and a clean folder.
#ifdef BRIOUTIL_CLI_BINARY
#include <sys/wait.h>

#include <cstdlib>

#include "cli/cli_support.h"

namespace {

using namespace brio::test;

TEST(CliLimits, FileSizeLimitGivesAnErrorAndLeavesNoTemporaryFile) {
    const std::string sheet = "{\\rtf1\\ansi{\\stylesheet{\\*\\cs99 \\additive Autolink;}}\r\n";
    CliDir dir({{"big.rtf", sheet + std::string(20000, 'x') + "\\par}"}, {"out.rtf", "old"}});
    // 4 blocks of 1 KiB: the output cannot be written whole.
    std::string command = "ulimit -f 4; exec '" + std::string(BRIOUTIL_CLI_BINARY) + "' unlink '" +
                          dir.File("big.rtf") + "' -o '" + dir.File("out.rtf") + "' 2>'" +
                          dir.File("err") + "'";
    int status = std::system(("bash -c \"" + command + "\"").c_str());
    ASSERT_TRUE(WIFEXITED(status)) << status;
    EXPECT_EQ(WEXITSTATUS(status), 2);
    EXPECT_NE(ReadFile(dir.File("err")).find("out.rtf: write error"), std::string::npos)
        << ReadFile(dir.File("err"));
    EXPECT_EQ(ReadFile(dir.File("out.rtf")), "old");
    EXPECT_EQ(dir.Entries(), (Args{"big.rtf", "err", "out.rtf"}));
}

}  // namespace
#endif
