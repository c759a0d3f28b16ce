#include "search/fetch_failure.h"

#include <string>
#include <string_view>

#include "text/codepage.h"

namespace quillmoss {
namespace {

const char* httpStatusMeaning(int32_t status) {
    switch (status) {
        case 400: return "请求有误";
        case 401:
        case 403: return "拒绝访问";
        case 404:
        case 410: return "页面不存在";
        case 408: return "请求超时";
        case 429: return "请求过于频繁";
        case 502:
        case 503:
        case 504: return "站点暂时无法服务";
        default: return status >= 500 ? "站点内部出错" : "请求未被接受";
    }
}

// libcurl's words, kept to printable ASCII and without the characters that
// would read as markup in the status box.
std::string plainDetail(std::string_view detail) {
    std::string out;
    for (char c : detail) {
        if (out.size() >= 160) break;
        if (c >= 0x20 && c < 0x7F && c != '<' && c != '>' && c != '&') out += c;
    }
    while (!out.empty() && out.back() == ' ') out.pop_back();
    return out;
}

std::string messageUtf8(const FetchOutcome& outcome) {
    switch (outcome.limit) {
        case FetchLimit::none: break;
        case FetchLimit::connectTimeout: return "连接搜索站点超时，站点可能暂时无法访问。请稍后再试。";
        case FetchLimit::stalled: return "搜索站点长时间没有回应，已停止等待。请稍后再试。";
        case FetchLimit::bodyTooLarge: return "搜索站点返回的页面太大，已停止接收。";
        case FetchLimit::headerTooLarge: return "搜索站点返回的响应头太大，已停止接收。";
        case FetchLimit::tooManyRedirects:
        case FetchLimit::tooManyMoves: return "搜索站点的跳转次数太多（可能在循环跳转），已停止。请稍后再试。";
        case FetchLimit::aborted: return "搜索已取消。";
    }
    if (outcome.completed && outcome.httpStatus >= 400) {
        return "搜索站点返回了错误（HTTP " + std::to_string(outcome.httpStatus) + "，" +
               httpStatusMeaning(outcome.httpStatus) + "）。请稍后再试。";
    }
    switch (outcome.failure) {
        case FetchFailure::none:
        case FetchFailure::other: break;
        case FetchFailure::invalidUrl: return "搜索站点的地址无效，无法发出请求。";
        case FetchFailure::hostNotFound: return "找不到搜索站点（域名无法解析）。请检查网络连接后再试。";
        case FetchFailure::connectionRefused: return "无法连接到搜索站点（连接被拒绝）。请稍后再试。";
        case FetchFailure::connectionLost: return "搜索站点中途断开了连接，页面没有收全。请稍后再试。";
        case FetchFailure::tlsFailure: return "无法与搜索站点建立安全连接（证书无效或加密协商失败）。";
        case FetchFailure::redirectRefused: return "搜索站点把请求转到了不支持的地址，已停止。";
        case FetchFailure::badResponse: return "搜索站点的回应无法识别，不是有效的网页。请稍后再试。";
    }
    const std::string detail = plainDetail(outcome.transportError);
    if (!detail.empty()) return "搜索失败（" + detail + "）。请稍后再试。";
    return "搜索失败，没有收到搜索站点的有效回应。请稍后再试。";
}

}  // namespace

Text fetchFailureMessage(const FetchOutcome& outcome) { return gbkFromUtf8(messageUtf8(outcome)); }

}  // namespace quillmoss
