// A table model over a record set, for a grid to show; rows are read as the view scrolls.
#pragma once

#include "record_set.h"

#include <QAbstractTableModel>

namespace rowlark::db {

class RecordSetModel : public QAbstractTableModel {
    Q_OBJECT
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
    // Once a read fails the model keeps the rows it has and reads no more.
    bool readFailed() const { return failed_; }
    const QString& readFailure() const { return failure_; }

signals:
    // The one report of a failed read, with the driver's text.
    void readError(const QString& description);

private:
    void read();
    void fail(const QString& description);
    bool failed_ = false;
    QString failure_;
    std::shared_ptr<RecordSet> records_;
    std::size_t shown_ = 0; // rows announced to views
};

} // namespace rowlark::db
