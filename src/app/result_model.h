// The rows of the result list as the window shows them. Window thread only;
// workers reach the rows through MainWindow's control operations.
#pragma once

#include <QAbstractTableModel>

#include <array>
#include <vector>

#include "text/text.h"

namespace quillmoss {

using ResultRow = std::array<Text, 2>;

class ResultModel : public QAbstractTableModel {
    Q_OBJECT
public:
    using QAbstractTableModel::QAbstractTableModel;

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

    void replaceAll(std::vector<ResultRow> rows);
    void appendRows(std::vector<ResultRow> rows);
    // Replaces rows first .. first + rows.size() - 1, which must exist.
    void updateRows(int first, std::vector<ResultRow> rows);

private:
    std::vector<ResultRow> rows_;
};

}  // namespace quillmoss
