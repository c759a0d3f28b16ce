#include "app/result_model.h"

#include "text/codepage.h"

namespace quillmoss {

int ResultModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(rows_.size());
}

int ResultModel::columnCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : 2; }

QVariant ResultModel::data(const QModelIndex& index, int role) const {
    if (role != Qt::DisplayRole || !index.isValid() || index.row() >= static_cast<int>(rows_.size()) ||
        index.column() > 1)
        return {};
    // Converted when painted: only the visible cells ever are.
    const Text& text = rows_[static_cast<size_t>(index.row())][static_cast<size_t>(index.column())];
    return QString::fromStdU16String(gbkToUtf16(text));
}

QVariant ResultModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal) return {};
    if (role == Qt::DisplayRole) {
        if (section == 0) return QStringLiteral("种子名称");
        if (section == 1) return QStringLiteral("下载地址");
    }
    if (role == Qt::TextAlignmentRole) return QVariant::fromValue(Qt::AlignLeft | Qt::AlignVCenter);
    return {};
}

Qt::ItemFlags ResultModel::flags(const QModelIndex& index) const {
    if (!index.isValid()) return Qt::NoItemFlags;
    return Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemNeverHasChildren;
}

void ResultModel::replaceAll(std::vector<ResultRow> rows) {
    beginResetModel();
    rows_ = std::move(rows);
    endResetModel();
}

void ResultModel::appendRows(std::vector<ResultRow> rows) {
    if (rows.empty()) return;
    const int first = static_cast<int>(rows_.size());
    beginInsertRows({}, first, first + static_cast<int>(rows.size()) - 1);
    for (ResultRow& row : rows) rows_.push_back(std::move(row));
    endInsertRows();
}

void ResultModel::updateRows(int first, std::vector<ResultRow> rows) {
    if (rows.empty()) return;
    for (size_t i = 0; i < rows.size(); ++i) rows_[static_cast<size_t>(first) + i] = std::move(rows[i]);
    emit dataChanged(index(first, 0), index(first + static_cast<int>(rows.size()) - 1, 1),
                     {Qt::DisplayRole});
}

}  // namespace quillmoss
