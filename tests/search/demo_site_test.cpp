// The bundled demo site: its pages read back through the tool's own parser,
// its page numbering, the cloud-play page and the executable's life cycle.
#include "demo-site/demo_site.h"

#include <gtest/gtest.h>
#include <httplib.h>

#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <regex>
#include <set>
#include <string>
#include <thread>

#include "demo-site/catalogue.h"
#include "demo-site/pages.h"
#include "search/page_parser.h"
#include "text/codepage.h"
#include "text/markers.h"

extern char** environ;

namespace quillmoss::demo {
namespace {

std::string utf8(const Text& text) { return ansiToUtf8(text).bytes(); }
Text gbkPage(const std::string& utf8Bytes) { return toText(utf8ToAnsi(ByteBuffer(utf8Bytes))); }

TEST(DemoCatalogue, HoldsAFewHundredDistinctResults) {
    const auto& entries = catalogue();
    EXPECT_GE(entries.size(), 200u);
    EXPECT_LE(entries.size(), 1000u);
    std::set<std::string> hashes;
    int withAmpersand = 0;
    int chinese = 0;
    for (const CatalogueEntry& entry : entries) {
        EXPECT_TRUE(std::regex_match(entry.infoHash, std::regex("[0-9A-F]{40}"))) << entry.infoHash;
        hashes.insert(entry.infoHash);
        EXPECT_FALSE(entry.files.empty());
        withAmpersand += entry.name.find('&') != std::string::npos;
        chinese += static_cast<unsigned char>(entry.name[0]) >= 0x80;
        // Every name survives the trip to GBK.
        EXPECT_EQ(utf8(gbkFromUtf8(entry.name)), entry.name);
    }
    EXPECT_EQ(hashes.size(), entries.size());
    EXPECT_GT(withAmpersand, 0);
    EXPECT_GT(chinese, 0);
    EXPECT_LT(chinese, static_cast<int>(entries.size()));
}

class DemoSiteServer : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(site.start()); }

    httplib::Result get(const std::string& target) {
        httplib::Client client("127.0.0.1", site.port());
        return client.Get(target.c_str());
    }

    DemoSite site;
};

// Each page, read by the tool's parser, lists exactly the catalogue's results
// for the keyword, 10 a page; p = N is results page N + 1.
TEST_F(DemoSiteServer, PagesReadBackThroughTheParser) {
    struct Case {
        std::string keyword;
        std::string target;  // without the q value
        int index;           // 0-based results page; -1: none
    };
    const auto all = findEntries("");
    const auto tom = findEntries("tom");
    ASSERT_EQ(all.size(), catalogue().size());
    ASSERT_EQ(tom.size(), findEntries("TOM").size());
    ASSERT_GT(tom.size(), 0u);
    const int allPages = static_cast<int>((all.size() + 9) / 10);
    const Case cases[] = {
        {"", "/search?info_hash=&q=", 0},
        {"", "/search?q=&p=0", 0},
        {"", "/search?q=&p=1", 1},
        {"", "/search?q=&p=" + std::to_string(allPages - 1), allPages - 1},
        {"", "/search?q=&p=" + std::to_string(allPages), -1},
        {"", "/search?q=&p=-1", -1},
        {"TOM", "/search?info_hash=&q=TOM", 0},
        {"no such thing", "/search?info_hash=&q=no%20such%20thing", -1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.target);
        const auto result = get(c.target);
        ASSERT_TRUE(result);
        EXPECT_EQ(result->status, 200);
        EXPECT_EQ(result->get_header_value("Content-Type"), "text/html; charset=utf-8");
        // The charset is declared in the page itself as well, early enough to count.
        EXPECT_LT(result->body.find("charset=\"utf-8\""), 500u);

        const std::vector<const CatalogueEntry*>& found = c.keyword.empty() ? all : tom;
        std::vector<std::string> names, links;
        if (c.index >= 0) {
            for (size_t i = static_cast<size_t>(c.index) * 10; i < found.size() && i < static_cast<size_t>(c.index) * 10 + 10; ++i) {
                names.push_back(found[i]->name);
                links.push_back(magnetLink(*found[i]));
            }
        }
        const Text page = gbkPage(result->body);
        const ParsedPage parsed = parsePage(page);
        std::vector<std::string> parsedNames, parsedLinks;
        for (const Text& t : parsed.resultNames) parsedNames.push_back(utf8(t));
        for (const Text& t : parsed.resultLinks) parsedLinks.push_back(utf8(t));
        EXPECT_EQ(parsedNames, names);
        EXPECT_EQ(parsedLinks, links);
        EXPECT_EQ(parsed.detailTexts.size(), static_cast<int32_t>(names.size()));

        const std::string pager = utf8(textBetween(page, gbkFromUtf8("上一个</td><td>"), Text("</td><")));
        const int pages = static_cast<int>((found.size() + 9) / 10);
        EXPECT_EQ(pager, c.index >= 0 ? std::to_string(c.index + 1) + "/" + std::to_string(pages) : "");
    }
}

TEST_F(DemoSiteServer, DetailBlockListsTheFilesWithSizes) {
    const auto result = get("/search?info_hash=&q=%E6%B5%81%E6%B5%AA%E5%9C%B0%E7%90%83");  // 流浪地球
    ASSERT_TRUE(result);
    const ParsedPage parsed = parsePage(gbkPage(result->body));
    const auto found = findEntries("流浪地球");
    ASSERT_EQ(parsed.detailTexts.size(), static_cast<int32_t>(found.size()));
    for (size_t i = 0; i < found.size(); ++i) {
        const std::string block = utf8(parsed.detailTexts.at(static_cast<int32_t>(i) + 1));
        for (const FileEntry& file : found[i]->files)
            EXPECT_NE(block.find(htmlEscape(file.path)), std::string::npos) << block;
        EXPECT_NE(block.find(formatSize(found[i]->files[0].bytes)), std::string::npos) << block;
    }
}

TEST_F(DemoSiteServer, CloudPlayPageShowsTheLinkItGot) {
    struct Case {
        std::string link;
        std::string shown;
    };
    const Case cases[] = {
        {"magnet:?xt=urn:btih:ABCD&dn=a%20b&tr=udp%3A%2F%2Ft%3A1",
         "magnet:?xt=urn:btih:ABCD&amp;dn=a%20b&amp;tr=udp%3A%2F%2Ft%3A1"},
        {"x\"<script>", "x&quot;&lt;script&gt;"},
        {"", ""},
    };
    for (const Case& c : cases) {
        const auto result = get("/?u=" + c.link);
        ASSERT_TRUE(result) << c.link;
        EXPECT_EQ(result->status, 200);
        EXPECT_NE(result->body.find("<pre class=\"link\">" + c.shown + "</pre>"), std::string::npos) << result->body;
    }
    EXPECT_EQ(site.requestTargets().front(), "/?u=" + cases[0].link);
}

TEST_F(DemoSiteServer, AnswersOddRequestsWithErrorPages) {
    EXPECT_EQ(get("/search?q=&p=two")->status, 400);
    EXPECT_EQ(get("/nothing/here")->status, 404);
    EXPECT_EQ(get("/detail?hash=0")->status, 404);
    EXPECT_EQ(get("/detail?hash=" + catalogue()[5].infoHash)->status, 200);
}

TEST_F(DemoSiteServer, StopsListening) {
    const int port = site.port();
    site.stop();
    EXPECT_EQ(site.port(), 0);
    httplib::Client client("127.0.0.1", port);
    client.set_connection_timeout(std::chrono::seconds(2));
    EXPECT_FALSE(client.Get("/"));
    site.stop();  // again: nothing happens
}

#ifdef QUILLMOSS_DEMO_SITE_EXECUTABLE
// The executable prints where it listens, serves, and ends with 0 on SIGINT
// and on SIGTERM.
TEST(DemoSiteExecutable, ServesUntilAStopSignal) {
    for (int signal : {SIGINT, SIGTERM}) {
        int out[2];
        ASSERT_EQ(pipe(out), 0);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
        posix_spawn_file_actions_addclose(&actions, out[0]);
        char program[] = QUILLMOSS_DEMO_SITE_EXECUTABLE;
        char portFlag[] = "--port";
        char portValue[] = "0";
        char* argv[] = {program, portFlag, portValue, nullptr};
        pid_t child = 0;
        ASSERT_EQ(posix_spawn(&child, program, &actions, nullptr, argv, environ), 0);
        posix_spawn_file_actions_destroy(&actions);
        close(out[1]);

        std::string printed;
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (printed.find('\n') == std::string::npos && std::chrono::steady_clock::now() < deadline) {
            pollfd fd{out[0], POLLIN, 0};
            if (poll(&fd, 1, 100) <= 0) continue;
            char buffer[256];
            const ssize_t n = read(out[0], buffer, sizeof buffer);
            if (n <= 0) break;
            printed.append(buffer, static_cast<size_t>(n));
        }
        std::smatch match;
        ASSERT_TRUE(std::regex_search(printed, match, std::regex("http://127\\.0\\.0\\.1:(\\d+)/"))) << printed;
        httplib::Client client("127.0.0.1", std::stoi(match[1]));
        const auto result = client.Get("/search?info_hash=&q=");
        ASSERT_TRUE(result);
        EXPECT_EQ(result->status, 200);

        kill(child, signal);
        int status = 0;
        pid_t ended = 0;
        for (int i = 0; i < 500 && (ended = waitpid(child, &status, WNOHANG)) == 0; ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        if (ended == 0) {
            kill(child, SIGKILL);
            waitpid(child, &status, 0);
        }
        close(out[0]);
        EXPECT_EQ(ended, child) << "still running after signal " << signal;
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "signal " << signal;
    }
}
#endif

}  // namespace
}  // namespace quillmoss::demo
