#include "actions/result_actions.h"

#include <mutex>
#include <optional>

#include "actions/actions_testing.h"
#include "actions/scheme_handler.h"
#include "app/controls.h"
#include "app/link_schemes.h"
#include "app/search_state.h"
#include "text/codepage.h"

#ifndef QUILLMOSS_CLOUD_PLAY_SITE
#error "QUILLMOSS_CLOUD_PLAY_SITE must be defined by the build"
#endif

namespace quillmoss {
namespace {

std::mutex overridesMutex;
std::optional<Text> cloudPlayOverride;
std::optional<HandlerQuery> handlerQueryOverride;

HandlerQuery handlerQuery() {
    std::lock_guard lock(overridesMutex);
    return handlerQueryOverride.value_or(HandlerQuery{});
}

// What one action needs of the selected result, read in one go.
struct SelectedResult {
    int32_t row = -1;
    Text name;
    Text link;
    // Empty when no row is selected or the page had fewer detail blocks than
    // names; the row's block otherwise (blocks belong to rows by position).
    std::optional<Text> detail;
};

// The worker commits a new page (state and list rows) under the state mutex,
// so reading the selection, the cells and the detail block under it gives a
// row and a detail block of the same page. Only the window's non-blocking
// reads are called while it is held.
SelectedResult readSelectedResult() {
    SelectedResult result;
    std::lock_guard lock(searchStateMutex());
    result.row = selectedRow();
    result.name = cellText(result.row, 0);
    result.link = cellText(result.row, 1);
    const TextArray& details = searchState().detailTexts;
    if (result.row >= 0 && result.row < details.size()) result.detail = details.at(result.row + 1);
    return result;
}

// Without a detail block for the row the status box keeps what it shows.
void showDetail(const std::optional<Text>& detail) {
    if (detail) setStatusContent(toBytes(*detail));
}

// A notice of ours, set off from the page's own HTML that follows it.
void showNoticeAbove(const Text& notice, const std::optional<Text>& detail) {
    Text content = Text("<h5>") + notice + Text("</h5>");
    if (detail) content += *detail;
    setStatusContent(toBytes(content));
}

Text schemeOf(const Text& link) {
    std::string_view bytes = link.view();
    std::string scheme(bytes.substr(0, bytes.find(':')));
    for (char& c : scheme) {
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    }
    return Text(scheme);
}

Text linkKind(const Text& scheme) {
    if (scheme == Text("magnet")) return gbkFromUtf8("磁力链接");
    if (scheme == Text("thunder")) return gbkFromUtf8("迅雷链接");
    if (scheme == Text("ed2k")) return gbkFromUtf8("电驴链接");
    return scheme + gbkFromUtf8("链接");
}

Text refusalNotice(const SelectedResult& result) {
    if (result.row < 0) return gbkFromUtf8("没有选中资源：请先在列表里点选一个资源，再用“迅雷下载”。");
    if (result.link.empty()) return gbkFromUtf8("这个资源没有下载地址，没有可以交给下载工具的链接。");
    return gbkFromUtf8("这个地址不是磁力链接、迅雷链接或电驴链接，为了安全，没有交给系统打开。");
}

// Kept to one line of the status box, so the detail block stays in view below it.
Text noHandlerNotice(const Text& scheme) {
    return gbkFromUtf8("系统没有登记打开") + linkKind(scheme) +
           gbkFromUtf8("的程序，链接多半打不开；请装迅雷等下载工具，或用“复制下载地址”。");
}

}  // namespace

void setCloudPlayBaseForTesting(std::optional<Text> base) {
    std::lock_guard lock(overridesMutex);
    cloudPlayOverride = std::move(base);
}

void setHandlerQueryForTesting(std::optional<HandlerQuery> query) {
    std::lock_guard lock(overridesMutex);
    handlerQueryOverride = std::move(query);
}

Text cloudPlayBase() {
    std::string base;
    {
        std::lock_guard lock(overridesMutex);
        base = cloudPlayOverride ? cloudPlayOverride->bytes() : std::string(QUILLMOSS_CLOUD_PLAY_SITE);
    }
    // "/?u=" is appended to it, so a configured trailing slash would double.
    while (!base.empty() && base.back() == '/') base.pop_back();
    return Text(std::move(base));
}

void onResultRightClick() {
    Text name = cellText(selectedRow(), 0);
    // Covers both a click beside the rows and a row without a name.
    if (name.empty()) return;
    ScreenPoint at = mousePosition();
    popupResultMenu(at.x, at.y);
}

void onResultDoubleClick() { playOnline(); }

void sendToMagnetHandler() {
    SelectedResult result = readSelectedResult();
    // Only download links leave the tool: a page could point anything else
    // (web pages, files, scripts) at the desktop's openers.
    if (!isDownloadLink(result.link)) {
        showNoticeAbove(refusalNotice(result), result.detail);
        return;
    }
    navigateHiddenBrowser(result.link);
    // Asked after handing the link on, so the handler starts without delay.
    // The link is handed on anyway: the desktop may know a handler that
    // xdg-mime does not report.
    const Text scheme = schemeOf(result.link);
    if (defaultSchemeHandler(scheme.view(), handlerQuery()).empty()) {
        showNoticeAbove(noHandlerNotice(scheme), result.detail);
        return;
    }
    showDetail(result.detail);
}

void copyLink() {
    SelectedResult result = readSelectedResult();
    setClipboardText(result.link);
    showDetail(result.detail);
}

void playOnline() {
    SelectedResult result = readSelectedResult();
    // The link goes in exactly as the list shows it, not percent-encoded:
    // that is the form the cloud-play service takes.
    openInDefaultBrowser(cloudPlayBase() + Text("/?u=") + result.link);
    showDetail(result.detail);
}

void showDetails() { showDetail(readSelectedResult().detail); }

}  // namespace quillmoss
