// The bundled demo index site: a real HTTP server on 127.0.0.1 that answers
// the tool's search URLs from the built-in catalogue, and the cloud-play
// address. Used by the quillmoss-demo-site executable and, in-process on an
// ephemeral port, by the end-to-end tests.
//
//   /search?info_hash=&q=KEYWORD   first result page
//   /search?q=KEYWORD&p=N          other pages (see demo_site.cpp for N)
//   /?u=LINK                       cloud-play page showing LINK
//   /detail?hash=HASH              one result
#pragma once

#include <memory>
#include <string>
#include <vector>

namespace quillmoss::demo {

class DemoSite {
public:
    DemoSite();
    ~DemoSite();  // stops the server
    DemoSite(const DemoSite&) = delete;
    DemoSite& operator=(const DemoSite&) = delete;

    // Listens on 127.0.0.1:port (0: a free port the system picks) and serves
    // on threads of its own. False when the port cannot be bound or the site
    // is already running.
    bool start(int port = 0);
    // The port listened on; 0 while not running.
    int port() const;
    // "http://127.0.0.1:PORT".
    std::string baseUrl() const;
    // Stops listening and waits for the serving threads. Safe to repeat.
    void stop();

    // The request targets (path and raw query) received so far, in order.
    std::vector<std::string> requestTargets() const;
    void clearRequestTargets();

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

}  // namespace quillmoss::demo
