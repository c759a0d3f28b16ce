#include "app/main_window.h"

#include <QClipboard>
#include <QContextMenuEvent>
#include <QCursor>
#include <QDesktopServices>
#include <QFont>
#include <QGuiApplication>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMouseEvent>
#include <QProcess>
#include <QPushButton>
#include <QTreeView>
#include <QUrl>

#include "app/link_schemes.h"
#include "app/status_view.h"
#include "text/codepage.h"

#ifndef QUILLMOSS_TITLE_ADDRESS
#error "QUILLMOSS_TITLE_ADDRESS must be defined by the build"
#endif
#ifndef QUILLMOSS_TITLE_CONTACT
#error "QUILLMOSS_TITLE_CONTACT must be defined by the build"
#endif

namespace quillmoss {
namespace {

QString toQString(const Text& text) { return QString::fromStdU16String(gbkToUtf16(text)); }

Text fromQString(const QString& text) {
    return utf16ToGbk(std::u16string_view(reinterpret_cast<const char16_t*>(text.utf16()),
                                          static_cast<size_t>(text.size())));
}

// The default GUI font of the system the layout was drawn for (宋体 9pt at
// 96 dpi); the captions were measured in it.
QFont guiFont() { return songFont(12); }

// The native list draws no selection while it lacks the focus.
void hideInactiveSelection(QWidget* widget) {
    QPalette palette = widget->palette();
    palette.setColor(QPalette::Inactive, QPalette::Highlight, palette.color(QPalette::Active, QPalette::Base));
    palette.setColor(QPalette::Inactive, QPalette::HighlightedText,
                     palette.color(QPalette::Active, QPalette::Text));
    widget->setPalette(palette);
}

void blackOnWhite(QWidget* widget) {
    QPalette palette = widget->palette();
    palette.setColor(QPalette::Base, Qt::white);
    palette.setColor(QPalette::Text, Qt::black);
    widget->setPalette(palette);
}

QLabel* makeLabel(QWidget* parent, const char* name, const QString& text, QRect geometry,
                  Qt::Alignment alignment, const QFont& font) {
    auto* label = new QLabel(parent);
    label->setObjectName(QString::fromUtf8(name));
    // Captions come from pages too: never rich text, which could load images.
    label->setTextFormat(Qt::PlainText);
    label->setText(text);
    label->setGeometry(geometry);
    label->setAlignment(alignment);
    label->setFont(font);
    return label;
}

QPushButton* makeButton(QWidget* parent, const char* name, const QString& text, QRect geometry) {
    auto* button = new QPushButton(text, parent);
    button->setObjectName(QString::fromUtf8(name));
    button->setGeometry(geometry);
    button->setFont(guiFont());
    button->setAutoDefault(false);
    return button;
}

// A magnet link survives QUrl unchanged. thunder:// and ed2k:// links do not
// (QUrl lowercases the case-sensitive base64 as a host name, or rejects
// "|file|..." as one), so they go to the desktop's opener as they are.
void openDownloadLink(const QString& link) {
    if (link.startsWith(QStringLiteral("magnet:"), Qt::CaseInsensitive)) {
        QDesktopServices::openUrl(QUrl(link, QUrl::TolerantMode));
        return;
    }
    QProcess::startDetached(QStringLiteral("xdg-open"), {link});
}

}  // namespace

void installFontSubstitutions() {
    static std::once_flag once;
    std::call_once(once, [] {
        const QStringList song{QStringLiteral("AR PL UMing CN"), QStringLiteral("AR PL UMing TW"),
                               QStringLiteral("AR PL UMing HK"), QStringLiteral("AR PL UMing TW MBE")};
        QFont::insertSubstitutions(QStringLiteral("宋体"), song);
        QFont::insertSubstitutions(QStringLiteral("SimSun"), song);
    });
}

QFont songFont(int pixelSize) {
    QFont font(QStringLiteral("宋体"));
    font.setPixelSize(pixelSize);
    font.setWeight(QFont::Normal);
    font.setItalic(false);
    font.setUnderline(false);
    font.setStrikeOut(false);
    return font;
}

MainWindow::MainWindow(WindowHandlers handlers, QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                          Qt::WindowCloseButtonHint),
      handlers_(std::move(handlers)),
      windowThread_(std::this_thread::get_id()) {
    installFontSubstitutions();
    setObjectName(QStringLiteral("主窗口"));
    setWindowTitle(QStringLiteral("Quillmoss ") + QString::fromUtf8(QUILLMOSS_TITLE_ADDRESS) +
                   QLatin1Char(' ') + QString::fromUtf8(QUILLMOSS_TITLE_CONTACT));
    setFixedSize(kClientWidth, kClientHeight);
    setFont(guiFont());
    buildControls();
    buildResultMenu();
}

MainWindow::~MainWindow() = default;

void MainWindow::buildControls() {
    const Qt::Alignment leftMiddle = Qt::AlignLeft | Qt::AlignVCenter;
    keywordLabel_ = makeLabel(this, "标签1", QStringLiteral("关键字："), {6, 6, 72, 24}, leftMiddle, guiFont());

    keywordBox_ = new QLineEdit(this);
    keywordBox_->setObjectName(QStringLiteral("编辑框1"));
    keywordBox_->setGeometry(52, 4, 452, 24);
    keywordBox_->setFont(songFont(16));
    keywordBox_->setAlignment(leftMiddle);
    blackOnWhite(keywordBox_);
    hideInactiveSelection(keywordBox_);
    connect(keywordBox_, &QLineEdit::textChanged, this, [this](const QString& text) {
        Text keyword = fromQString(text);
        std::lock_guard lock(mutex_);
        shared_.keyword = std::move(keyword);
    });

    searchButton_ = makeButton(this, "按钮1", QStringLiteral("搜索种子"), {506, 3, 84, 28});
    connect(searchButton_, &QPushButton::clicked, this, [this] { runHandler(handlers_.searchPressed); });

    model_ = new ResultModel(this);
    resultList_ = new QTreeView(this);
    resultList_->setObjectName(QStringLiteral("超级列表框1"));
    resultList_->setGeometry(1, 33, 592, 247);
    resultList_->setModel(model_);
    resultList_->setRootIsDecorated(false);
    resultList_->setItemsExpandable(false);
    resultList_->setIndentation(0);
    resultList_->setUniformRowHeights(true);
    resultList_->setSortingEnabled(false);
    resultList_->setAllColumnsShowFocus(true);
    resultList_->setSelectionBehavior(QAbstractItemView::SelectRows);
    resultList_->setSelectionMode(QAbstractItemView::SingleSelection);
    resultList_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    resultList_->setDragEnabled(false);
    resultList_->setExpandsOnDoubleClick(false);
    resultList_->setFont(songFont(14));
    resultList_->setContextMenuPolicy(Qt::PreventContextMenu);
    blackOnWhite(resultList_);
    hideInactiveSelection(resultList_);
    QHeaderView* header = resultList_->header();
    header->setFont(guiFont());
    header->setStretchLastSection(false);
    header->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    header->setSectionsClickable(true);  // pressed look only; nothing is connected
    header->setSortIndicatorShown(false);
    header->setSectionsMovable(false);
    header->resizeSection(0, 340);
    header->resizeSection(1, 240);
    resultList_->viewport()->installEventFilter(this);
    connect(resultList_->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            [this] { selectionChanged(); });

    firstPageButton_ = makeButton(this, "按钮4", QStringLiteral("第一页"), {6, 295, 64, 32});
    connect(firstPageButton_, &QPushButton::clicked, this, [this] { runHandler(handlers_.firstPagePressed); });

    pageLabel_ = makeLabel(this, "标签2", QString(), {208, 300, 120, 18}, Qt::AlignCenter, songFont(16));
    // Stays this blue whatever the skin: a widget's own style sheet wins.
    pageLabel_->setStyleSheet(QStringLiteral("QLabel { color: rgb(0, 136, 255); }"));

    hintLabel_ = makeLabel(this, "标签3", QStringLiteral("右键迅雷下载"), {344, 303, 96, 24}, leftMiddle,
                           guiFont());

    previousPageButton_ = makeButton(this, "按钮3", QStringLiteral("上一页"), {454, 299, 64, 32});
    connect(previousPageButton_, &QPushButton::clicked, this,
            [this] { runHandler(handlers_.previousPagePressed); });
    nextPageButton_ = makeButton(this, "按钮2", QStringLiteral("下一页"), {526, 298, 64, 32});
    connect(nextPageButton_, &QPushButton::clicked, this, [this] { runHandler(handlers_.nextPagePressed); });

    statusView_ = new StatusView(this);
    statusView_->setObjectName(QStringLiteral("简单超文本框1"));
    statusView_->setGeometry(0, 336, 592, 48);
    // A thin sunken frame: dark above and left, light below and right.
    statusView_->setStyleSheet(QStringLiteral(
        "QTextBrowser { background-color: #FBEDBB; color: black; border: 1px solid;"
        " border-color: #808080 #FFFFFF #FFFFFF #808080; }"));
    statusView_->setContent(ByteBuffer(fromQString(QStringLiteral("开始搜索")).view()));

    // Stands where the embedded browser stood, wholly left of the client area.
    hiddenBrowser_ = new QWidget(this);
    hiddenBrowser_->setObjectName(QStringLiteral("超文本浏览框1"));
    hiddenBrowser_->setGeometry(-100, 232, 16, 16);

    idleButton_ = makeButton(this, "按钮6", QStringLiteral("安装好用的金山毒霸"), {546, 428, 128, 25});
}

void MainWindow::buildResultMenu() {
    resultMenu_ = new QMenu(QStringLiteral("右键菜单"), this);
    resultMenu_->setObjectName(QStringLiteral("右键菜单"));
    resultMenu_->setFont(guiFont());
    const struct {
        const char* name;
        QString text;
        const std::function<void()>* handler;
    } items[] = {
        {"sendToMagnetHandler", QStringLiteral("迅雷下载"), &handlers_.sendToMagnetHandler},
        {"copyLink", QStringLiteral("复制下载地址"), &handlers_.copyLink},
        {"playOnline", QStringLiteral("在线云点播"), &handlers_.playOnline},
        {"showDetails", QStringLiteral("查看详细内容"), &handlers_.showDetails},
    };
    for (const auto& item : items) {
        QAction* action = resultMenu_->addAction(item.text);
        action->setObjectName(QString::fromUtf8(item.name));
        const std::function<void()>* handler = item.handler;
        // Queued: the action runs once the menu has closed and its event is over.
        connect(action, &QAction::triggered, this, [this, handler] {
            QMetaObject::invokeMethod(this, [this, handler] { runHandler(*handler); }, Qt::QueuedConnection);
        });
    }
}

void MainWindow::runHandler(const std::function<void()>& handler) {
    if (handler) handler();
}

bool MainWindow::eventFilter(QObject* watched, QEvent* event) {
    if (watched != resultList_->viewport()) return QWidget::eventFilter(watched, event);
    if (event->type() == QEvent::ContextMenu) {
        auto* menuEvent = static_cast<QContextMenuEvent*>(event);
        // The list's own right-click: keyboard requests are not one.
        if (menuEvent->reason() != QContextMenuEvent::Mouse) return true;
        const QModelIndex index = resultList_->indexAt(menuEvent->pos());
        if (index.isValid()) {
            resultList_->selectionModel()->setCurrentIndex(
                index, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
        }
        runHandler(handlers_.resultRightClick);
        return true;
    }
    if (event->type() == QEvent::MouseButtonDblClick &&
        static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton) {
        runHandler(handlers_.resultDoubleClick);
        return true;
    }
    return QWidget::eventFilter(watched, event);
}

void MainWindow::selectionChanged() {
    const QModelIndexList rows = resultList_->selectionModel()->selectedRows();
    const int32_t row = rows.isEmpty() ? -1 : rows.first().row();
    std::lock_guard lock(mutex_);
    // A selection in rows a pending clearRows has already dropped means nothing.
    if (modelGeneration_ == shared_.rowsGeneration) shared_.selected = row;
}

Text MainWindow::keywordText() {
    std::lock_guard lock(mutex_);
    return shared_.keyword;
}

void MainWindow::setStatusContent(const ByteBuffer& content) {
    {
        std::lock_guard lock(mutex_);
        shared_.status = content;
    }
    requestFlush();
}

void MainWindow::setPageCaption(const Text& caption) {
    {
        std::lock_guard lock(mutex_);
        shared_.caption = caption;
        shared_.captionChanged = true;
    }
    requestFlush();
}

Text MainWindow::pageCaption() {
    std::lock_guard lock(mutex_);
    return shared_.caption;
}

void MainWindow::clearRows() {
    {
        std::lock_guard lock(mutex_);
        shared_.rows.clear();
        ++shared_.rowsGeneration;
        shared_.selected = -1;
        shared_.modelRows = 0;
        shared_.changedFirst = SIZE_MAX;
        shared_.changedLast = 0;
    }
    requestFlush();
}

int32_t MainWindow::appendRow() {
    int32_t row;
    {
        std::lock_guard lock(mutex_);
        shared_.rows.emplace_back();
        row = static_cast<int32_t>(shared_.rows.size()) - 1;
    }
    requestFlush();
    return row;
}

void MainWindow::setCellText(int32_t row, int32_t column, const Text& text) {
    {
        std::lock_guard lock(mutex_);
        if (row < 0 || column < 0 || column > 1 || static_cast<size_t>(row) >= shared_.rows.size()) return;
        const auto index = static_cast<size_t>(row);
        shared_.rows[index][static_cast<size_t>(column)] = text;
        if (index < shared_.modelRows) {
            shared_.changedFirst = std::min(shared_.changedFirst, index);
            shared_.changedLast = std::max(shared_.changedLast, index);
        }
    }
    requestFlush();
}

Text MainWindow::cellText(int32_t row, int32_t column) {
    std::lock_guard lock(mutex_);
    if (row < 0 || column < 0 || column > 1 || static_cast<size_t>(row) >= shared_.rows.size()) return {};
    return shared_.rows[static_cast<size_t>(row)][static_cast<size_t>(column)];
}

int32_t MainWindow::rowCount() {
    std::lock_guard lock(mutex_);
    return static_cast<int32_t>(shared_.rows.size());
}

int32_t MainWindow::selectedRow() {
    std::lock_guard lock(mutex_);
    return shared_.selected;
}

void MainWindow::navigateHiddenBrowser(const Text& address) {
    if (!isDownloadLink(address)) return;
    addEffect({Effect::Kind::downloadLink, address, {}});
}

void MainWindow::popupResultMenu(int32_t x, int32_t y) { addEffect({Effect::Kind::popup, {}, {x, y}}); }

ScreenPoint MainWindow::mousePosition() {
    if (onWindowThread()) {
        const QPoint pos = QCursor::pos();
        const ScreenPoint point{pos.x(), pos.y()};
        std::lock_guard lock(mutex_);
        shared_.lastMouse = point;
        return point;
    }
    std::lock_guard lock(mutex_);
    return shared_.lastMouse;
}

void MainWindow::setClipboardText(const Text& text) { addEffect({Effect::Kind::clipboard, text, {}}); }

void MainWindow::openInDefaultBrowser(const Text& address) {
    if (!isWebAddress(address)) return;
    addEffect({Effect::Kind::webAddress, address, {}});
}

void MainWindow::addEffect(Effect effect) {
    {
        std::lock_guard lock(mutex_);
        shared_.effects.push_back(std::move(effect));
    }
    requestFlush();
}

void MainWindow::requestFlush() {
    if (onWindowThread()) {
        flush();
        return;
    }
    bool post = false;
    {
        std::lock_guard lock(mutex_);
        post = !shared_.flushQueued;
        shared_.flushQueued = true;
    }
    // One queued flush per burst of writes; the data travel under mutex_.
    if (post) QMetaObject::invokeMethod(this, [this] { flush(); }, Qt::QueuedConnection);
}

void MainWindow::flush() {
    bool reset = false;
    std::vector<ResultRow> allRows;
    size_t changedFirst = 0;
    std::vector<ResultRow> changedRows;
    std::vector<ResultRow> newRows;
    std::optional<ByteBuffer> status;
    std::optional<Text> caption;
    std::vector<Effect> effects;
    {
        std::lock_guard lock(mutex_);
        Shared& s = shared_;
        if (modelGeneration_ != s.rowsGeneration) {
            reset = true;
            allRows = s.rows;
            modelGeneration_ = s.rowsGeneration;
        } else {
            if (s.changedFirst <= s.changedLast && s.changedFirst < s.modelRows) {
                changedFirst = s.changedFirst;
                const size_t last = std::min(s.changedLast, s.modelRows - 1);
                changedRows.assign(s.rows.begin() + static_cast<ptrdiff_t>(changedFirst),
                                   s.rows.begin() + static_cast<ptrdiff_t>(last) + 1);
            }
            if (s.rows.size() > s.modelRows)
                newRows.assign(s.rows.begin() + static_cast<ptrdiff_t>(s.modelRows), s.rows.end());
        }
        s.modelRows = s.rows.size();
        s.changedFirst = SIZE_MAX;
        s.changedLast = 0;
        status = std::move(s.status);
        s.status.reset();
        if (s.captionChanged) caption = s.caption;
        s.captionChanged = false;
        effects.swap(s.effects);
        s.flushQueued = false;
    }

    if (reset) {
        model_->replaceAll(std::move(allRows));
        resultList_->selectionModel()->clear();
    } else {
        model_->updateRows(static_cast<int>(changedFirst), std::move(changedRows));
        model_->appendRows(std::move(newRows));
    }
    if (status) statusView_->setContent(*status);
    if (caption) pageLabel_->setText(toQString(*caption));
    for (const Effect& effect : effects) applyEffect(effect);
}

void MainWindow::applyEffect(const Effect& effect) {
    switch (effect.kind) {
    case Effect::Kind::downloadLink:
        openDownloadLink(toQString(effect.text));
        break;
    case Effect::Kind::webAddress:
        QDesktopServices::openUrl(QUrl(toQString(effect.text), QUrl::TolerantMode));
        break;
    case Effect::Kind::clipboard:
        if (QClipboard* clipboard = QGuiApplication::clipboard()) clipboard->setText(toQString(effect.text));
        break;
    case Effect::Kind::popup:
        resultMenu_->popup(QPoint(effect.at.x, effect.at.y));
        break;
    }
}

}  // namespace quillmoss
