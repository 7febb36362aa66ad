// INSERT, UPDATE and DELETE into the statement tree.
#include "ast.h"

#include "error.h"

namespace sandbox {

Insert Parser::insert() {
    Insert s;
    expect("insert");
    take("into");
    s.table = name();
    if (takeSymbol("(")) {
        s.columns = list([this] { return identifier(); });
        expectSymbol(")");
    }
    if (take("default")) {
        expect("values");
        s.defaultValues = true;
    } else if (take("values")) {
        s.rows = list([this] {
            expectSymbol("(");
            auto row =
                list([this] { return is("default") ? makeExpr(Expr::Name, *p_++) : expression(); });
            expectSymbol(")");
            return row;
        });
    } else if (startsQuery() || isSymbol("(")) {
        s.query = query();
    } else if (is("exec") || is("execute")) {
        throw unsupported("INSERT ... EXEC");
    } else {
        fail();
    }
    return s;
}

Update Parser::update() {
    Update s;
    const bool isDelete = take("delete");
    if (!isDelete) expect("update");
    if (isDelete) take("from");
    if (is("top")) throw unsupported(std::string(isDelete ? "DELETE" : "UPDATE") + " TOP");
    s.table = name();
    if (!isDelete) {
        expect("set");
        do {
            std::string column = identifier();
            while (takeSymbol(".")) // t.column
                column = identifier();
            expectSymbol("=");
            s.set.emplace_back(column, expression());
        } while (takeSymbol(","));
    }
    if (is("from")) throw unsupported(std::string(isDelete ? "DELETE" : "UPDATE") + " with FROM");
    if (take("where")) s.where = expression();
    return s;
}

} // namespace sandbox
