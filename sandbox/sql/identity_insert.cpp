// SET IDENTITY_INSERT: one table of a session at a time takes explicit identity values, given
// through a column list; the table's next value then goes past the highest.
#include "engine.h"

#include "ast.h"
#include "statement.h"
#include "text.h"

namespace sandbox {

void Engine::setIdentityInsert(Parser& p) {
    const std::string name = objectName(p.objectName(), database());
    if (!(p.is("on") || p.is("off")) || p.end() - p.position() != 1) p.failNear(name);
    const bool on = p.take("on");
    const TableDef* def = db_->table(name);
    if (!def || def->isView) throw cannotFind(1088, 11, name);
    if (def->identityIndex < 0)
        throw SqlError{8106, 16, 1,
                       "Table '" + def->name +
                           "' does not have the identity property. Cannot perform SET operation."};
    if (on && !identityInsert_.empty() && !iequals(identityInsert_, def->name))
        throw SqlError{8107, 16, 1,
                       "IDENTITY_INSERT is already ON for table '" + database() + ".dbo." +
                           identityInsert_ + "'. Cannot perform SET operation for table '" +
                           def->name + "'."};
    if (on)
        identityInsert_ = def->name;
    else if (iequals(identityInsert_, def->name))
        identityInsert_.clear();
}

void Engine::checkIdentityColumns(const TableDef& def, bool columnList, bool identityListed) const {
    const bool on = iequals(identityInsert_, def.name); // IDENTITY_INSERT for the table
    if (def.identityIndex < 0 || (!on && !identityListed)) return;
    if (!on)
        throw SqlError{544, 16, 1,
                       "Cannot insert explicit value for identity column in table '" + def.name +
                           "' when IDENTITY_INSERT is set to OFF."};
    if (!columnList)
        throw SqlError{8101, 16, 1,
                       "An explicit value for the identity column in table '" + def.name +
                           "' can only be specified when a column list is used and "
                           "IDENTITY_INSERT is ON."};
    if (!identityListed)
        throw SqlError{545, 16, 1,
                       "Explicit value must be specified for identity column in table '" +
                           def.name +
                           "' either when IDENTITY_INSERT is set to ON or when a replication user "
                           "is inserting into a NOT FOR REPLICATION identity column."};
}

} // namespace sandbox
