// A table model over a record set, for a grid to show; rows are read as the view scrolls.
#pragma once

#include "record_set.h"

#include <QAbstractTableModel>

namespace rowlark::db {

class RecordSetModel : public QAbstractTableModel {
public:
    // The model shares the record set, so the rows stay readable while the grid shows them.
    explicit RecordSetModel(std::shared_ptr<RecordSet> records, QObject* parent = nullptr);

    // Role under which data() says whether a value is NULL.
    static constexpr int kIsNullRole = Qt::UserRole + 1;

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;
    bool canFetchMore(const QModelIndex& parent) const override;
    void fetchMore(const QModelIndex& parent) override;

    const std::shared_ptr<RecordSet>& records() const { return records_; }

private:
    std::shared_ptr<RecordSet> records_;
    std::size_t shown_ = 0; // rows announced to views
};

} // namespace rowlark::db
