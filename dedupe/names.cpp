#include "names.h"

#include "sql_text.h"

#include <QString>

namespace rowlark::dedupe {
namespace {

// A name as the server compares it: trailing blanks ignored, one Unicode form.
QString serverName(const std::string& name) {
    QString s = QString::fromStdString(name).normalized(QString::NormalizationForm_C);
    while (s.endsWith(' '))
        s.chop(1);
    return s;
}

} // namespace

bool SameServerName(const std::string& a, const std::string& b) {
    return serverName(a).compare(serverName(b), Qt::CaseInsensitive) == 0;
}

std::optional<std::string> RefuseNewName(const std::string& newName,
                                         const std::string& sourceTable) {
    const QString name = serverName(newName);
    if (name.trimmed().isEmpty()) return "Please enter a name for the new table.";
    if (SameServerName(newName, sourceTable))
        return "The new table needs a name of its own: \"" + newName +
               "\" is the table being cleaned, which is never changed.";
    if (name.startsWith('#'))
        return "\"" + newName +
               "\" would be a temporary table, gone when the job ends. Please choose another name.";
    if (name.startsWith(QString::fromUtf8(kWorkTable.data(), kWorkTable.size()),
                        Qt::CaseInsensitive))
        return "\"" + newName +
               "\" is a name the work tables use. Please choose another name for the new table.";
    return std::nullopt;
}

std::optional<std::string> RefuseRemovedName(const std::string& removedName,
                                             const std::string& newName,
                                             const std::string& sourceTable) {
    if (auto why = RefuseNewName(removedName, sourceTable))
        return "The table for the removed rows: " + *why;
    if (SameServerName(removedName, newName))
        return "The removed rows need a table of their own, not the new table \"" + newName + "\".";
    return std::nullopt;
}

} // namespace rowlark::dedupe
