#include "actions/scheme_handler.h"

#include <gtest/gtest.h>
#include <signal.h>

#include <cerrno>
#include <fstream>

#include "temp_desktop.h"

namespace quillmoss {
namespace {

using namespace std::chrono_literals;
using testing::readFile;
using testing::TempDesktop;
using testing::TempDir;
using testing::writeScript;

// The real xdg-mime, against a desktop of the test's own making.
TEST(SchemeHandlerTest, ReportsWhatXdgMimeHasRegistered) {
    struct Case {
        const char* what;
        std::vector<std::string> registered;  // MIME types given to the handler
        const char* scheme;
        const char* expected;
    } cases[] = {
        {"registered scheme", {"x-scheme-handler/magnet"}, "magnet", "test-magnet.desktop"},
        {"scheme in capitals", {"x-scheme-handler/magnet"}, "MAGNET", "test-magnet.desktop"},
        {"only another scheme registered", {"x-scheme-handler/ed2k"}, "magnet", ""},
        {"nothing registered", {}, "magnet", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        TempDesktop desktop;
        if (!c.registered.empty()) desktop.registerHandler("test-magnet", c.registered);
        desktop.exportEnvironment();
        EXPECT_EQ(defaultSchemeHandler(c.scheme), c.expected);
    }
}

// Whatever goes wrong with the helper, the answer is "no handler known".
TEST(SchemeHandlerTest, HelperFailuresMeanNoHandlerKnown) {
    TempDir dir;
    struct Case {
        const char* what;
        const char* body;  // empty: the program does not exist
        const char* scheme;
        const char* expected;
    } cases[] = {
        {"program missing", nullptr, "magnet", ""},
        {"prints nothing", "exit 0\n", "magnet", ""},
        {"prints only blanks", "printf '  \\n\\n'\n", "magnet", ""},
        {"exits with an error after printing", "echo handler.desktop; exit 3\n", "magnet", ""},
        {"killed by a signal", "echo handler.desktop; kill -9 $$\n", "magnet", ""},
        {"first line trimmed", "printf ' handler.desktop \\r\\nother.desktop\\n'\n", "magnet",
         "handler.desktop"},
        {"scheme with a blank", "echo handler.desktop\n", "mag net", ""},
        {"scheme with a path", "echo handler.desktop\n", "x-scheme/../magnet", ""},
        {"scheme starting with a digit", "echo handler.desktop\n", "2magnet", ""},
        {"empty scheme", "echo handler.desktop\n", "", ""},
    };
    int n = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        HandlerQuery query;
        query.program = c.body ? writeScript(dir.path(), "helper" + std::to_string(n++), c.body).string()
                               : (dir.path() / "no-such-program").string();
        EXPECT_EQ(defaultSchemeHandler(c.scheme, query), c.expected);
    }
}

TEST(SchemeHandlerTest, PassesTheQueryAsSeparateArgumentsWithoutAShell) {
    TempDir dir;
    const auto args = dir.path() / "args";
    HandlerQuery query;
    query.program =
        writeScript(dir.path(), "recorder", "printf '%s\\n' \"$@\" > '" + args.string() + "'; echo h.desktop\n")
            .string();
    EXPECT_EQ(defaultSchemeHandler("Ed2K", query), "h.desktop");
    EXPECT_EQ(readFile(args), "query\ndefault\nx-scheme-handler/ed2k\n");
}

bool processGone(pid_t pid) {
    // A killed grandchild may linger as a zombie until its new parent reaps it.
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    if (!stat) return true;
    std::string pidField, name, state;
    stat >> pidField >> name >> state;
    return state == "Z";
}

// A helper that never finishes (here: a child of it keeps the output open) is
// given up after the time bound, and its whole process group is killed.
TEST(SchemeHandlerTest, StuckHelperIsKilledWithItsChildren) {
    TempDir dir;
    const auto pidFile = dir.path() / "pids";
    HandlerQuery query;
    query.timeout = 300ms;
    query.program = writeScript(dir.path(), "stuck",
                                "sleep 60 &\necho $! $$ > '" + pidFile.string() + "'\necho h.desktop\nwait\n")
                        .string();
    EXPECT_EQ(defaultSchemeHandler("magnet", query), "");

    pid_t child = 0, helper = 0;
    std::ifstream(pidFile) >> child >> helper;
    ASSERT_GT(child, 0);
    ASSERT_GT(helper, 0);
    EXPECT_TRUE(processGone(helper));
    bool childGone = false;
    for (int i = 0; i < 500 && !childGone; ++i) {
        childGone = processGone(child);
        if (!childGone) std::this_thread::sleep_for(10ms);
    }
    EXPECT_TRUE(childGone);
    if (!childGone) kill(child, SIGKILL);
}

}  // namespace
}  // namespace quillmoss
