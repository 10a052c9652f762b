// SPDX-License-Identifier: GPL-3.0-or-later
// A record source in explicit form: the rows of one table that meet a condition, in an order, and
// how the data control holds them. The data control builds its statements from these parts and
// never takes a query text apart; `text` is the record source as the window's design writes it.
#pragma once

#include <QByteArray>
#include <QString>

#include <utility>
#include <vector>

namespace velmora {

struct TableQuery {
    QString table = QStringLiteral("CSR14");
    QString condition;  // an SQL condition on the table's columns; empty: every row
    // Texts, as their bytes, for the condition's parameters ?1, ?2, …: one statement serves every
    // value, compiled once.
    std::vector<QByteArray> values;
    QString order;  // SQL ordering terms; empty: the engine's order
    // The rows, as the engine gives them in `order` (by description, ignoring ASCII case), are put
    // in the food list's order: descriptions beyond ASCII among the others as dictionaries file
    // them (Recordset).
    bool listOrder = false;
    int limit = 0;  // at most this many rows; 0: all of them
    // True: the record set holds each row's key and description, and a record's other fields are
    // read by its key when it becomes current (a whole table listed, a few of its rows read).
    // False: every field of every row is read at once (a few rows, each of them read).
    bool byKey = true;
    QString text;  // the record source as the design writes it; empty: the statement itself

    TableQuery& where(QString sqlCondition) { return set(condition, std::move(sqlCondition)); }
    TableQuery& where(QString sqlCondition, std::vector<QByteArray> texts) {
        values = std::move(texts);
        return set(condition, std::move(sqlCondition));
    }
    TableQuery& orderedBy(QString sqlOrder) { return set(order, std::move(sqlOrder)); }
    TableQuery& inListOrder(QString sqlOrder = QStringLiteral("description")) {
        listOrder = true;
        return set(order, std::move(sqlOrder));
    }
    TableQuery& first(int rows) { return set(limit, rows); }
    TableQuery& wholeRows() { return set(byKey, false); }
    TableQuery& writtenAs(QString designText) { return set(text, std::move(designText)); }

    // "SELECT columns FROM table WHERE condition ORDER BY order LIMIT limit", the empty parts left
    // out.
    QString statement(const QString& columns) const;
    // What messages quote: `text`, or the statement of whole rows.
    QString shown() const { return text.isEmpty() ? statement(QStringLiteral("*")) : text; }

  private:
    template <typename T>
    TableQuery& set(T& part, T value) {
        part = std::move(value);
        return *this;
    }
};

}  // namespace velmora
