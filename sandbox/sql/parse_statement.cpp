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
        s.columns = list([this] {
            if (p_ == end_ || !p_->isName()) fail();
            return (p_++)->text;
        });
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
            if (p_ == end_ || !p_->isName()) fail();
            std::string column = (p_++)->text;
            while (takeSymbol(".")) { // t.column
                if (p_ == end_ || !p_->isName()) fail();
                column = (p_++)->text;
            }
            expectSymbol("=");
            s.set.emplace_back(column, expression());
        } while (takeSymbol(","));
    }
    if (is("from")) throw unsupported(std::string(isDelete ? "DELETE" : "UPDATE") + " with FROM");
    if (take("where")) s.where = expression();
    return s;
}

} // namespace sandbox
