#include "record_set_model.h"

namespace rowlark::db {

namespace {
constexpr std::size_t kBatch = 256;
}

RecordSetModel::RecordSetModel(std::shared_ptr<RecordSet> records, QObject* parent)
    : QAbstractTableModel(parent), records_(std::move(records)) {
    if (records_ && records_->rowsHeld() == 0) read();
    shown_ = records_ ? records_->rowsHeld() : 0;
}

// Called from the view's event handling: nothing may leave it as an exception.
void RecordSetModel::read() {
    try {
        records_->fetchMore(kBatch);
    } catch (const OdbcError& e) {
        fail(QString::fromStdString(e.description()));
    } catch (const std::exception& e) {
        fail(QString::fromStdString(e.what()));
    }
}

void RecordSetModel::fail(const QString& description) {
    failed_ = true;
    failure_ = description;
    emit readError(description);
}

int RecordSetModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(shown_);
}

int RecordSetModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() || !records_ ? 0 : static_cast<int>(records_->fields().size());
}

QVariant RecordSetModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || !records_) return {};
    const Value& v = records_->row(static_cast<std::size_t>(index.row()))
                         .at(static_cast<std::size_t>(index.column()));
    if (role == kIsNullRole) return !v.has_value();
    if (role != Qt::DisplayRole && role != Qt::ToolTipRole) return {};
    return v ? QString::fromStdString(*v) : QString();
}

QVariant RecordSetModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (role != Qt::DisplayRole || !records_) return {};
    if (orientation == Qt::Vertical) return section + 1;
    return QString::fromStdString(records_->fields().at(static_cast<std::size_t>(section)).name);
}

bool RecordSetModel::canFetchMore(const QModelIndex& parent) const {
    return !parent.isValid() && records_ && !failed_ &&
           (records_->canFetchMore() || records_->rowsHeld() > shown_);
}

void RecordSetModel::fetchMore(const QModelIndex& parent) {
    if (parent.isValid() || !records_ || failed_) return;
    // Read before announcing the rows: a read error leaves the model as it was.
    read();
    const std::size_t held = records_->rowsHeld();
    if (held == shown_) return;
    beginInsertRows({}, static_cast<int>(shown_), static_cast<int>(held) - 1);
    shown_ = held;
    endInsertRows();
}

} // namespace rowlark::db
