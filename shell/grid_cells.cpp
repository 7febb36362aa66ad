#include "grid_cells.h"

#include "db/field_types.h"

#include <QAbstractItemView>
#include <QHeaderView>
#include <QHelpEvent>
#include <QTableView>
#include <QToolTip>

#include <charconv>
#include <cmath>

namespace rowlark::shell {

namespace {

// The shortest text that reads back as the same T; the value as given when it is no number.
template <class T> QString shortest(const QString& value) {
    const QByteArray text = value.trimmed().toLatin1();
    T number{};
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), number);
    if (error != std::errc() || end != text.data() + text.size() || !std::isfinite(number))
        return value;
    char out[64];
    const auto written = std::to_chars(out, out + sizeof out, number);
    if (written.ec != std::errc()) return value;
    return QString::fromLatin1(out, static_cast<int>(written.ptr - out));
}

// Rows looked at to size a column: enough to see what the table holds, few enough to be quick.
constexpr int kRowsMeasured = 200;

} // namespace

QString CellText(int fieldType, const QString& value) {
    switch (fieldType) {
    case db::kAdDouble:
        return shortest<double>(value);
    case db::kAdSingle:
        return shortest<float>(value);
    default:
        return value;
    }
}

GridCells::GridCells(std::function<int(int)> fieldType, QObject* parent)
    : QStyledItemDelegate(parent), fieldType_(std::move(fieldType)) {}

QString GridCells::shown(const QModelIndex& index) const {
    return CellText(fieldType_(index.column()), index.data(Qt::DisplayRole).toString());
}

void GridCells::initStyleOption(QStyleOptionViewItem* option, const QModelIndex& index) const {
    QStyledItemDelegate::initStyleOption(option, index);
    option->text = shown(index);
}

bool GridCells::helpEvent(QHelpEvent* event, QAbstractItemView* view,
                          const QStyleOptionViewItem& option, const QModelIndex& index) {
    if (event->type() != QEvent::ToolTip || !index.isValid())
        return QStyledItemDelegate::helpEvent(event, view, option, index);
    const QString text = shown(index);
    if (text.isEmpty()) {
        QToolTip::hideText();
        return true;
    }
    QToolTip::showText(event->globalPos(), text, view, view->visualRect(index));
    return true;
}

void SizeColumnsToValues(QTableView& view, const GridCells& cells, int maxWidth) {
    QAbstractItemModel* model = view.model();
    if (!model) return;
    const QFontMetrics values(view.font());
    const QFontMetrics headings(view.horizontalHeader()->font());
    // The room a cell's frame and margins take beside its text, as the style lays it out.
    const int margin =
        2 * (view.style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, &view) + 1) +
        view.showGrid() + 4;
    const int rows = std::min(model->rowCount(), kRowsMeasured);
    for (int c = 0; c < model->columnCount(); ++c) {
        int need = headings.horizontalAdvance(model->headerData(c, Qt::Horizontal).toString()) +
                   2 * view.style()->pixelMetric(QStyle::PM_HeaderMargin, nullptr, &view) + 4;
        for (int r = 0; r < rows; ++r)
            need =
                std::max(need, values.horizontalAdvance(cells.shown(model->index(r, c))) + margin);
        view.setColumnWidth(c, std::min(need, maxWidth));
    }
}

} // namespace rowlark::shell
