// How the grids show their values: floating-point numbers by the shortest text that reads back as
// the same number, columns as wide as their values (up to a limit), and the whole value as a
// tooltip wherever a cell is too narrow for it.
#pragma once

#include "db/record_set.h"

#include <QStyledItemDelegate>

#include <functional>

class QTableView;

namespace rowlark::shell {

// The text a cell shows for a value of the field type (db::FieldType) as the driver gave it:
// a float or real by its shortest exact text (9.80665, not 9.8066499999999994); anything else as
// it came.
QString CellText(int fieldType, const QString& value);

// Draws each cell with CellText and shows it whole as the cell's tooltip.
class GridCells : public QStyledItemDelegate {
public:
    // fieldType(column) gives a column's db::FieldType.
    GridCells(std::function<int(int)> fieldType, QObject* parent);
    QString shown(const QModelIndex& index) const;

protected:
    void initStyleOption(QStyleOptionViewItem* option, const QModelIndex& index) const override;
    bool helpEvent(QHelpEvent* event, QAbstractItemView* view, const QStyleOptionViewItem& option,
                   const QModelIndex& index) override;

private:
    std::function<int(int)> fieldType_;
};

// Sizes every column of the view to its heading and the values of its first rows, none wider
// than maxWidth pixels.
void SizeColumnsToValues(QTableView& view, const GridCells& cells, int maxWidth);

} // namespace rowlark::shell
