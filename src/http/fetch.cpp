#include "http/fetch.h"

#include <curl/curl.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <set>
#include <string_view>
#include <vector>

#include "http/cookie_store.h"
#include "http/cookies.h"
#include "http/fetch_testing.h"
#include "http/url.h"
#include "text/codepage.h"
#include "text/markers.h"

namespace quillmoss {

namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

constexpr char kDefaultUserAgent[] =
    "Mozilla/4.0 (compatible; MSIE 9.0; Windows NT 6.1; Vexel; .NET CLR 2.0.50727; "
    ".NET CLR 3.0.04506.648; .NET CLR 3.5.21022)";

// A UTF-8 mark in the body counts when it starts before this 1-based position.
constexpr int32_t kCharsetWindow = 500;

// The longest a wait inside one exchange lasts before the loop looks again.
constexpr milliseconds kPollSlice{1000};

struct Globals {
    std::mutex mutex;  // guards limits, trustedPem and active
    FetchLimits limits;
    std::string trustedPem;
    std::set<CURLM*> active;  // multi handles of the exchanges in flight
    std::atomic<bool> aborted{false};
};

// Never destroyed: a worker may still finish an exchange while the process exits.
Globals& globals() {
    static Globals* const g = new Globals;
    return *g;
}

void initCurlOnce() {
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

// Everything libcurl's callbacks touch. They all run on the calling thread,
// inside curl_multi_perform.
struct Transfer {
    CURL* easy = nullptr;
    int64_t maxBody = 0;
    int64_t maxHeader = 0;
    std::string body;
    std::string headerBlock;  // the current response's block, each line ended by CRLF
    bool blockEnded = false;  // its empty line has arrived; what follows are trailers
    bool bodyReserved = false;
    FetchLimit stoppedBy = FetchLimit::none;  // set by a callback that refused more
    bool connected = false;
    Clock::time_point lastActivity = Clock::now();
    curl_off_t lastDown = 0;
    curl_off_t lastUp = 0;
};

size_t onHeader(char* data, size_t size, size_t count, void* user) {
    auto& t = *static_cast<Transfer*>(user);
    const size_t length = size * count;
    t.lastActivity = Clock::now();
    std::string_view line(data, length);
    while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.remove_suffix(1);
    if (line.substr(0, 5) == "HTTP/") {
        // Every response of a redirect chain (and every 1xx) comes through
        // here; only the last one's block and body count.
        t.headerBlock.clear();
        t.blockEnded = false;
        t.body.clear();
        t.bodyReserved = false;
    } else if (t.blockEnded) {
        return length;
    }
    if (line.empty()) t.blockEnded = true;
    if (static_cast<int64_t>(t.headerBlock.size() + line.size() + 2) > t.maxHeader) {
        t.stoppedBy = FetchLimit::headerTooLarge;
        return 0;
    }
    t.headerBlock.append(line).append("\r\n");
    return length;
}

size_t onBody(char* data, size_t size, size_t count, void* user) {
    auto& t = *static_cast<Transfer*>(user);
    const size_t length = size * count;
    t.lastActivity = Clock::now();
    if (!t.bodyReserved) {
        t.bodyReserved = true;
        curl_off_t expected = -1;
        curl_easy_getinfo(t.easy, CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &expected);
        if (expected > 0 && expected <= t.maxBody) t.body.reserve(static_cast<size_t>(expected));
    }
    // libcurl applies CURLOPT_MAXFILESIZE only to a body with a known length.
    if (static_cast<int64_t>(t.body.size() + length) > t.maxBody) {
        t.stoppedBy = FetchLimit::bodyTooLarge;
        return 0;
    }
    t.body.append(data, length);
    return length;
}

int onProgress(void* user, curl_off_t, curl_off_t downloaded, curl_off_t, curl_off_t uploaded) {
    auto& t = *static_cast<Transfer*>(user);
    if (downloaded != t.lastDown || uploaded != t.lastUp) {
        t.lastDown = downloaded;
        t.lastUp = uploaded;
        t.lastActivity = Clock::now();
    }
    return 0;
}

int onConnected(void* user, char*, char*, int, int) {
    auto& t = *static_cast<Transfer*>(user);
    t.connected = true;
    t.lastActivity = Clock::now();
    return CURL_PREREQFUNC_OK;
}

// Host names the exchange hands to libcurl: anything else would let libcurl
// read part of the host as a path, a query or credentials.
bool plainHost(const Text& host) {
    if (host.empty()) return false;
    return std::all_of(host.bytes().begin(), host.bytes().end(), [](char c) {
        return (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '.' || c == '-' ||
               c == '_';
    });
}

// Bytes libcurl's URL parser refuses in a path (controls and the space) are
// sent percent-encoded.
std::string escapedPath(const Text& path) {
    static const char hex[] = "0123456789ABCDEF";
    std::string out;
    out.reserve(static_cast<size_t>(path.size()));
    for (char c : path.bytes()) {
        auto b = static_cast<unsigned char>(c);
        if (b <= 0x20 || b == 0x7F) {
            out += '%';
            out += hex[b >> 4];
            out += hex[b & 0x0F];
        } else {
            out += c;
        }
    }
    return out;
}

void classify(int code, const std::string& error, FetchOutcome& outcome) {
    switch (code) {
    case CURLE_OK:
        return;
    case CURLE_UNSUPPORTED_PROTOCOL:
        // The first URL is always built as http or https, so another scheme
        // comes from a redirect; without a 3xx it was an answer that is not HTTP.
        outcome.failure = outcome.httpStatus >= 300 && outcome.httpStatus < 400
                              ? FetchFailure::redirectRefused
                              : FetchFailure::badResponse;
        return;
    case CURLE_URL_MALFORMAT:
        outcome.failure = FetchFailure::invalidUrl;
        return;
    case CURLE_COULDNT_RESOLVE_PROXY:
    case CURLE_COULDNT_RESOLVE_HOST:
        outcome.failure = FetchFailure::hostNotFound;
        return;
    case CURLE_COULDNT_CONNECT:
        outcome.failure = FetchFailure::connectionRefused;
        return;
    case CURLE_OPERATION_TIMEDOUT:
        // The only time-out handed to libcurl is the connect time-out.
        outcome.limit = FetchLimit::connectTimeout;
        return;
    case CURLE_TOO_MANY_REDIRECTS:
        outcome.limit = FetchLimit::tooManyRedirects;
        return;
    case CURLE_FILESIZE_EXCEEDED:
        outcome.limit = FetchLimit::bodyTooLarge;
        return;
    case CURLE_RECV_ERROR:
        // libcurl has a header-size cap of its own, reported as a receive error.
        if (error.find("response header") != std::string::npos ||
            error.find("header too") != std::string::npos) {
            outcome.limit = FetchLimit::headerTooLarge;
            return;
        }
        outcome.failure = FetchFailure::connectionLost;
        return;
    case CURLE_PARTIAL_FILE:
    case CURLE_GOT_NOTHING:
    case CURLE_SEND_ERROR:
        outcome.failure = FetchFailure::connectionLost;
        return;
    case CURLE_WEIRD_SERVER_REPLY:
    case CURLE_BAD_CONTENT_ENCODING:
    case CURLE_HTTP2:
        outcome.failure = FetchFailure::badResponse;
        return;
    case CURLE_SSL_CONNECT_ERROR:
    case CURLE_PEER_FAILED_VERIFICATION:
    case CURLE_SSL_CERTPROBLEM:
    case CURLE_SSL_CIPHER:
    case CURLE_SSL_CACERT_BADFILE:
    case CURLE_SSL_ENGINE_NOTFOUND:
    case CURLE_SSL_ENGINE_SETFAILED:
    case CURLE_SSL_ENGINE_INITFAILED:
    case CURLE_USE_SSL_FAILED:
    case CURLE_SSL_SHUTDOWN_FAILED:
    case CURLE_SSL_CRL_BADFILE:
    case CURLE_SSL_ISSUER_ERROR:
    case CURLE_SSL_PINNEDPUBKEYNOTMATCH:
    case CURLE_SSL_INVALIDCERTSTATUS:
    case CURLE_SSL_CLIENTCERT:
        outcome.failure = FetchFailure::tlsFailure;
        return;
    default:
        outcome.failure = FetchFailure::other;
        return;
    }
}

// The caller's variables, or stand-ins for the omitted ones.
struct Arguments {
    int32_t method = 0;
    Text postText;
    Text* cookies = nullptr;  // null: not given, the automatic cookie store is used
    Text* returnedCookies = nullptr;
    Text* headers = nullptr;
    Text* location = nullptr;
    int32_t noRedirect = 0;
    ByteBuffer* postBytes = nullptr;
    std::optional<Text> proxy;
    Text* rawHeaders = nullptr;
};

struct Exchange {
    bool transferred = false;  // a whole response arrived and no limit was hit
    std::string body;
};

void registerActive(CURLM* multi) {
    Globals& g = globals();
    std::lock_guard lock(g.mutex);
    g.active.insert(multi);
}

void unregisterActive(CURLM* multi) {
    Globals& g = globals();
    std::lock_guard lock(g.mutex);
    g.active.erase(multi);
}

// Runs the transfer on its own multi handle, so that abortAllFetches() can
// wake it at once and the stall clock is checked between waits.
CURLcode perform(CURL* easy, Transfer& t, const FetchLimits& limits, FetchOutcome& outcome) {
    CURLM* multi = curl_multi_init();
    if (multi == nullptr) return CURLE_OUT_OF_MEMORY;
    curl_multi_add_handle(multi, easy);
    registerActive(multi);

    CURLcode code = CURLE_OK;
    for (;;) {
        if (globals().aborted.load()) {
            outcome.limit = FetchLimit::aborted;
            code = CURLE_ABORTED_BY_CALLBACK;
            break;
        }
        int running = 0;
        if (curl_multi_perform(multi, &running) != CURLM_OK) {
            code = CURLE_OUT_OF_MEMORY;
            break;
        }
        if (running == 0) {
            int left = 0;
            while (CURLMsg* msg = curl_multi_info_read(multi, &left)) {
                if (msg->msg == CURLMSG_DONE) code = msg->data.result;
            }
            break;
        }
        milliseconds wait = kPollSlice;
        if (t.connected) {
            auto idle = std::chrono::duration_cast<milliseconds>(Clock::now() - t.lastActivity);
            if (idle >= limits.stallTimeout) {
                outcome.limit = FetchLimit::stalled;
                code = CURLE_OPERATION_TIMEDOUT;
                break;
            }
            wait = std::min(wait, limits.stallTimeout - idle + milliseconds(1));
        }
        curl_multi_poll(multi, nullptr, 0, static_cast<int>(wait.count()), nullptr);
    }

    unregisterActive(multi);
    curl_multi_remove_handle(multi, easy);
    curl_multi_cleanup(multi);
    return code;
}

std::vector<std::string> handleCookies(CURL* easy) {
    std::vector<std::string> lines;
    curl_slist* list = nullptr;
    if (curl_easy_getinfo(easy, CURLINFO_COOKIELIST, &list) == CURLE_OK) {
        for (curl_slist* item = list; item != nullptr; item = item->next) lines.emplace_back(item->data);
    }
    curl_slist_free_all(list);
    return lines;
}

// Steps 1 to 14 of one request: the exchange and the scan of its header block.
Exchange exchangeOnce(const Text& url, Arguments& a, const FetchLimits& limits,
                      const std::string& trustedPem, FetchOutcome& outcome) {
    Exchange result;
    outcome = FetchOutcome{};

    const bool post = a.method == 1;
    Text agent = kDefaultUserAgent;
    if (findText(*a.headers, "User-Agent:", std::nullopt, true) != -1) {
        agent = trimSpaces(textBetween(*a.headers, "User-Agent:", "\r\n"));
        if (agent.empty()) agent = headerValue(*a.headers);
    }

    const bool secure = toLower(textLeft(url, 5)) == Text("https");
    const Text host = urlHost(url);
    const int32_t port = urlPort(url);
    if (!plainHost(host) || port < 1 || port > 65535) {
        outcome.failure = FetchFailure::invalidUrl;
        outcome.transportError = "URL names no usable host and port";
        return result;
    }
    std::string target = secure ? "https://" : "http://";
    target += host.bytes();
    target += ':';
    target += std::to_string(port);
    target += escapedPath(urlPath(url));

    CURL* easy = curl_easy_init();
    if (easy == nullptr) {
        outcome.failure = FetchFailure::other;
        outcome.transportError = "cannot create a libcurl handle";
        return result;
    }

    // The default header block, each line only when its exact name is missing.
    Text& headers = *a.headers;
    if (findText(headers, "Referer:") == -1) {
        headers += headers.empty() ? Text("Referer: ") + url : Text("\r\nReferer: ") + url;
    }
    if (findText(headers, "Accept:") == -1) headers += "\r\nAccept: */*";
    if (findText(headers, "Accept-Language:") == -1) headers += "\r\nAccept-Language: zh-cn";
    if (findText(headers, "Content-Type:") == -1) {
        headers += "\r\nContent-Type: application/x-www-form-urlencoded";
    }
    if (a.cookies != nullptr && !a.cookies->empty()) headers += Text("\r\nCookie: ") + *a.cookies;

    curl_slist* headerList = nullptr;
    for (const Text& line : splitText(headers, "\r\n")) {
        if (!line.empty()) headerList = curl_slist_append(headerList, line.c_str());
    }
    // A name with nothing after its colon removes one of libcurl's own
    // defaults; such entries are never sent.
    headerList = curl_slist_append(headerList, "Accept:");
    headerList = curl_slist_append(headerList, "Expect:");
    headerList = curl_slist_append(headerList, "Proxy-Connection:");

    if (a.method != 0 && a.postBytes->empty()) *a.postBytes = toBytes(a.postText);

    Transfer t;
    t.easy = easy;
    t.maxBody = limits.maxBodyBytes;
    t.maxHeader = limits.maxHeaderBytes;
    char errorText[CURL_ERROR_SIZE] = {};

    curl_easy_setopt(easy, CURLOPT_URL, target.c_str());
    curl_easy_setopt(easy, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(easy, CURLOPT_ERRORBUFFER, errorText);
    curl_easy_setopt(easy, CURLOPT_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(easy, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(easy, CURLOPT_HTTP_VERSION, static_cast<long>(CURL_HTTP_VERSION_1_1));
    curl_easy_setopt(easy, CURLOPT_PATH_AS_IS, 1L);
    curl_easy_setopt(easy, CURLOPT_HTTPHEADER, headerList);
    curl_easy_setopt(easy, CURLOPT_USERAGENT, agent.c_str());
    curl_easy_setopt(easy, CURLOPT_FOLLOWLOCATION, a.noRedirect != 0 ? 0L : 1L);
    curl_easy_setopt(easy, CURLOPT_MAXREDIRS, static_cast<long>(limits.maxRedirects));
    curl_easy_setopt(easy, CURLOPT_CONNECTTIMEOUT_MS, static_cast<long>(limits.connectTimeout.count()));
    curl_easy_setopt(easy, CURLOPT_MAXFILESIZE_LARGE, static_cast<curl_off_t>(limits.maxBodyBytes));
    curl_easy_setopt(easy, CURLOPT_BUFFERSIZE, 256L * 1024);
    curl_easy_setopt(easy, CURLOPT_SUPPRESS_CONNECT_HEADERS, 1L);
    curl_easy_setopt(easy, CURLOPT_HEADERFUNCTION, onHeader);
    curl_easy_setopt(easy, CURLOPT_HEADERDATA, &t);
    curl_easy_setopt(easy, CURLOPT_WRITEFUNCTION, onBody);
    curl_easy_setopt(easy, CURLOPT_WRITEDATA, &t);
    curl_easy_setopt(easy, CURLOPT_XFERINFOFUNCTION, onProgress);
    curl_easy_setopt(easy, CURLOPT_XFERINFODATA, &t);
    curl_easy_setopt(easy, CURLOPT_NOPROGRESS, 0L);
    curl_easy_setopt(easy, CURLOPT_PREREQFUNCTION, onConnected);
    curl_easy_setopt(easy, CURLOPT_PREREQDATA, &t);

    // The proxy serves http URLs only; an empty text means none, and the
    // environment's proxy settings are never used.
    std::string proxy;
    if (a.proxy && !a.proxy->empty() && !secure) {
        proxy = findText(*a.proxy, "://") == -1 ? "http://" + a.proxy->bytes() : a.proxy->bytes();
    }
    curl_easy_setopt(easy, CURLOPT_PROXY, proxy.c_str());

    if (!trustedPem.empty()) {
        curl_blob blob{const_cast<char*>(trustedPem.data()), trustedPem.size(), CURL_BLOB_COPY};
        curl_easy_setopt(easy, CURLOPT_CAINFO_BLOB, &blob);
    }

    if (a.method != 0) {
        static const char noBody[] = "";
        const std::string& bytes = a.postBytes->bytes();
        curl_easy_setopt(easy, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(bytes.size()));
        curl_easy_setopt(easy, CURLOPT_POSTFIELDS, bytes.empty() ? noBody : bytes.data());
        if (!post) curl_easy_setopt(easy, CURLOPT_CUSTOMREQUEST, "GET");
    }

    std::vector<std::string> cookiesBefore;
    const bool cookieStore = a.cookies == nullptr;
    if (cookieStore) {
        curl_easy_setopt(easy, CURLOPT_COOKIEFILE, "");  // the engine, reading no file
        cookiesBefore = detail::cookieStoreSnapshot();
        for (const std::string& line : cookiesBefore) {
            curl_easy_setopt(easy, CURLOPT_COOKIELIST, line.c_str());
        }
    }

    CURLcode code = perform(easy, t, limits, outcome);

    long status = 0;
    curl_easy_getinfo(easy, CURLINFO_RESPONSE_CODE, &status);
    outcome.httpStatus = static_cast<int32_t>(status);
    if (cookieStore) detail::cookieStoreMerge(cookiesBefore, handleCookies(easy));
    curl_easy_cleanup(easy);
    curl_slist_free_all(headerList);

    if (t.stoppedBy != FetchLimit::none && outcome.limit == FetchLimit::none) outcome.limit = t.stoppedBy;
    if (code == CURLE_OK && !t.blockEnded) {
        // libcurl takes a close in the middle of the header block for the
        // end of a body-less answer.
        code = CURLE_PARTIAL_FILE;
        std::snprintf(errorText, sizeof errorText, "connection closed inside the response header");
    }
    if (code != CURLE_OK) {
        outcome.curlCode = code;
        outcome.transportError = errorText[0] != '\0' ? errorText : curl_easy_strerror(code);
        if (code == CURLE_OUT_OF_MEMORY && !t.headerBlock.empty() && !t.blockEnded) {
            // libcurl's answer to one header line over its own per-line cap.
            outcome.limit = FetchLimit::headerTooLarge;
        }
        if (outcome.limit == FetchLimit::none) classify(code, outcome.transportError, outcome);
        if (outcome.limit == FetchLimit::stalled) {
            outcome.transportError = "no data for " + std::to_string(limits.stallTimeout.count()) + " ms";
        } else if (outcome.limit == FetchLimit::aborted) {
            outcome.transportError = "aborted";
        }
        *a.rawHeaders = outcome.limit == FetchLimit::headerTooLarge ? Text() : Text(t.headerBlock);
        *a.returnedCookies = Text();
        return result;
    }

    // Scan the final response's header block.
    Text& raw = *a.rawHeaders;
    raw = Text(std::move(t.headerBlock));
    Text& returned = *a.returnedCookies;
    returned = Text();
    for (const Text& line : splitText(raw, "\r\n")) {
        if (findText(line, "Location:") != -1) *a.location = headerValue(line);
        if (findText(line, "Set-Cookie") != -1) {
            returned += trimSpaces(textBetween(line, "Set-Cookie:", ";")) + "; ";
        }
    }
    returned = textLeft(returned, textLength(returned) - 2);
    if (a.cookies != nullptr) mergeCookies(*a.cookies, returned);
    if (a.location->empty()) *a.location = raw;

    outcome.completed = true;
    result.transferred = true;
    result.body = std::move(t.body);
    return result;
}

char lowerAscii(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c; }

// The body is UTF-8 when it names "utf-8", in any ASCII case, starting within
// its first 499 bytes, or when the header block names it anywhere.
bool markedUtf8(const std::string& body, const Text& rawHeaders) {
    static constexpr std::string_view mark = "utf-8";
    const size_t lastStart = std::min(body.size(), static_cast<size_t>(kCharsetWindow - 1));
    for (size_t i = 0; i < lastStart && i + mark.size() <= body.size(); ++i) {
        size_t k = 0;
        while (k < mark.size() && lowerAscii(body[i + k]) == mark[k]) ++k;
        if (k == mark.size()) return true;
    }
    return findText(rawHeaders, "utf-8", std::nullopt, true) != -1;
}

}  // namespace

void initHttp() { initCurlOnce(); }

Text fetchUrl(const Text& url, FetchOptions options) {
    initCurlOnce();
    FetchOutcome localOutcome;
    FetchOutcome& outcome = options.outcome != nullptr ? *options.outcome : localOutcome;
    outcome = FetchOutcome{};

    Globals& g = globals();
    FetchLimits limits;
    std::string trustedPem;
    {
        std::lock_guard lock(g.mutex);
        limits = g.limits;
        trustedPem = g.trustedPem;
    }
    if (g.aborted.load()) {
        outcome.limit = FetchLimit::aborted;
        outcome.transportError = "aborted";
        return Text();
    }

    Text cookies, returnedCookies, headers, location, rawHeaders;
    ByteBuffer postBytes;
    Arguments a;
    a.method = options.method;
    a.postText = options.postText;
    a.cookies = options.cookies;
    a.returnedCookies = options.returnedCookies != nullptr ? options.returnedCookies : &returnedCookies;
    a.headers = options.headers != nullptr ? options.headers : &headers;
    a.location = options.location != nullptr ? options.location : &location;
    a.noRedirect = options.noRedirect;
    a.postBytes = options.postBytes != nullptr ? options.postBytes : &postBytes;
    a.proxy = options.proxy;
    a.rawHeaders = options.rawHeaders != nullptr ? options.rawHeaders : &rawHeaders;

    Text current = url;
    for (int32_t moves = 0;; ++moves) {
        Exchange exchange = exchangeOnce(current, a, limits, trustedPem, outcome);
        outcome.moves = moves;
        if (!exchange.transferred) return Text();

        // A 301 answer is followed by repeating the request at the new place,
        // with the same variables, each now counting as given.
        if (textBetween(*a.rawHeaders, "HTTP/1.1 ", " Moved") == Text("301")) {
            if (moves >= limits.maxMoves) {
                outcome.completed = false;
                outcome.limit = FetchLimit::tooManyMoves;
                outcome.transportError = "moved more than " + std::to_string(limits.maxMoves) + " times";
                return Text();
            }
            current = *a.location + urlPath(current);
            *a.location = Text();
            if (a.cookies == nullptr) a.cookies = &cookies;
            if (!a.proxy) a.proxy = Text();
            continue;
        }

        if (markedUtf8(exchange.body, *a.rawHeaders)) {
            ByteBuffer converted = utf8ToAnsi(ByteBuffer(std::move(exchange.body)));
            return Text(std::move(converted.bytes()));
        }
        return Text(std::move(exchange.body));
    }
}

Text headerValue(const Text& line) {
    int32_t k = findText(line, ":");
    if (k == -1) return Text();
    return trimSpaces(textRight(line, textLength(line) - k));
}

void abortAllFetches() {
    Globals& g = globals();
    g.aborted.store(true);
    std::lock_guard lock(g.mutex);
    for (CURLM* multi : g.active) curl_multi_wakeup(multi);
}

FetchLimits defaultFetchLimits() { return FetchLimits{}; }

void setFetchLimitsForTesting(const FetchLimits& limits) {
    Globals& g = globals();
    std::lock_guard lock(g.mutex);
    g.limits = limits;
}

void resetFetchAbortForTesting() { globals().aborted.store(false); }

void clearCookieStoreForTesting() { detail::cookieStoreClear(); }

void setTrustedCertificatesForTesting(const std::string& pem) {
    Globals& g = globals();
    std::lock_guard lock(g.mutex);
    g.trustedPem = pem;
}

}  // namespace quillmoss
