// SPDX-License-Identifier: GPL-3.0-or-later
#include "fooddb/foodlookup.h"

#include "common/utf8text.h"

#include "common/runtimeerror.h"
#include "fooddb/datacontrol.h"
#include "fooddb/findfood.h"
#include "fooddb/jetlike.h"
#include "fooddb/textfold.h"

#include <QChar>
#include <QStringList>

#include <algorithm>
#include <array>

namespace velmora {

namespace {

bool isAsciiLetter(char32_t c) {
    return (c >= U'a' && c <= U'z') || (c >= U'A' && c <= U'Z');
}

// A parameter for `bytes`, bound as a text whatever they hold: no quoting, and bytes that are no
// UTF-8 kept.
QString parameter(std::vector<QByteArray>& values, const std::string& bytes) {
    values.push_back(QByteArray::fromStdString(bytes));
    return u'?' + QString::number(values.size());
}

// A text's first characters that get a range of their own (below): past them, the rows that
// begin with them are few and are all read. Each range costs the engine a little to compile
// and search, so a long description does not get one per character.
constexpr std::size_t kRangedPrefix = 40;

// Every row whose text in `column` the find step can take for the folded text `folded`, and the
// rows of the conditions `more`. ASCII folds to ASCII, so such a row is either ASCII and equal to
// it ignoring case, or its first character beyond ASCII comes after an ASCII prefix that, ignoring
// case, begins `folded`: for each such prefix a range of the index, and one range for all that
// begin with a long prefix. Each range is read on its own: joined by OR, many ranges look dearer
// to the engine than reading the whole table.
TableQuery candidates(const QString& column, const std::u32string& folded, const QString& collation,
                      QStringList more = {}) {
    TableQuery q;
    const QString collate = QStringLiteral(" COLLATE ") + collation;
    // Bytes from `from` on, to past every text that starts with `prefix`. ('@' + 1 is 'A', which
    // NOCASE reads as 'a': a wider range, which only adds candidates.)
    const auto range = [&](const std::string& from, const std::string& prefix) {
        QString term = column + QStringLiteral(" >= ") + parameter(q.values, from) + collate;
        if (prefix.empty()) return term;
        std::string past = prefix;
        past.back() = static_cast<char>(static_cast<unsigned char>(past.back()) + 1);
        return term + QStringLiteral(" AND ") + column + QStringLiteral(" < ") +
               parameter(q.values, past) + collate;
    };
    QStringList terms;
    std::string prefix;  // folded, so lower case: the bounds hold under NOCASE too
    for (std::size_t k = 0;; ++k) {
        if (k == kRangedPrefix) {
            terms << range(prefix, prefix);
            break;
        }
        terms << range(prefix + '\x80', prefix);
        if (k == folded.size() || folded[k] >= 0x80) {
            if (k == folded.size())
                terms << column + QStringLiteral(" = ") + parameter(q.values, prefix) + collate;
            break;
        }
        prefix += static_cast<char>(folded[k]);
    }
    terms << more;
    const QString select = QStringLiteral("SELECT rowid FROM %1 WHERE ").arg(q.table);
    q.condition = QStringLiteral("rowid IN (") + select +
                  terms.join(QStringLiteral(" UNION ALL ") + select) + u')';
    return q;
}

// The engine's part of the list's order: by description ignoring ASCII case, foods it cannot
// tell apart in the table's order, the order of their row keys. The "+" keeps the column's
// collation but lets the engine read the candidates through the index and sort the few it finds,
// instead of walking the whole index.
const QString kListOrder = QStringLiteral("+description, rowid");

// A folded text's words: its runs of letters and digits.
std::vector<std::u32string> wordsOf(const std::u32string& folded) {
    std::vector<std::u32string> words;
    std::u32string word;
    for (const char32_t c : folded) {
        if (QChar::isLetterOrNumber(c)) {
            word += c;
        } else if (!word.empty()) {
            words.push_back(std::move(word));
            word.clear();
        }
    }
    if (!word.empty()) words.push_back(std::move(word));
    return words;
}

// Some table keeps NDB numbers as numbers or bytes: their texts need the window's way.
const TableQuery kNdbNotText =
    TableQuery().where(QStringLiteral("NDB_NO < '' OR NDB_NO >= x''")).first(1).wholeRows();

std::u32string foldedText(const QString& food) {
    return foldedCodePoints(food.toUtf8().toStdString());
}

// The find step over the current record set; then the number of foods it takes for the text.
FoodMatch findByDescription(DataControl& data, const QString& food) {
    QString svFindName;
    if (FindFoodByDescription(data, food, svFindName) != FindOutcome::Found) return {};
    const QByteArray utf8 = food.toUtf8();
    const std::string_view text(utf8.constData(), std::size_t(utf8.size()));
    const Recordset& rs = data.recordset();
    // The foods the step took it for: those equal ignoring case, else those that fold alike.
    for (const auto same : {equalsIgnoringCase, equalsFolded}) {
        int sharing = 0;
        for (int row = 0; row < rs.RecordCount(); ++row)
            sharing +=
                same(rs.descriptionUtf8(row), rs.descriptionIsAscii(row), text, isAscii(text));
        if (sharing > 0) return {true, false, sharing, {}};
    }
    return {true, false, 1, {}};
}

// The find step over the current record set; then the foods after the one found that it would
// take for the number too. The found one is current again at the end.
FoodMatch findByNdbNumber(DataControl& data, const QString& food) {
    data.FindFirst(QStringLiteral("NDB_NO = '") + SrchReplace(food) + u'\'');
    if (data.recordset().NoMatch()) return {false, true, 0, {}};
    FoodMatch m{true, true, 1, {}};
    const int found = data.recordset().AbsolutePosition();
    const QByteArray utf8 = food.toUtf8();
    const std::string_view number(utf8.constData(), std::size_t(utf8.size()));
    for (int row = found + 1; row < data.recordset().RecordCount(); ++row) {
        data.moveToRow(row);
        const QByteArray other = data.txtFields(field::NdbNumber).toUtf8();
        const std::string_view text(other.constData(), std::size_t(other.size()));
        if (!equalsIgnoringCase(text, isAscii(text), number, isAscii(number))) continue;
        ++m.sharing;
        if (m.others.size() < kMostNamed) m.others << data.txtFields(field::Description);
    }
    data.moveToRow(found);
    return m;
}

}  // namespace

TableQuery descriptionCandidates(const QString& food) {
    // Numbers and bytes sort before and after every text; the record set shows them as texts.
    return candidates(QStringLiteral("Description"), foldedText(food), QStringLiteral("NOCASE"),
                      {QStringLiteral("Description < '' COLLATE NOCASE"),
                       QStringLiteral("Description >= x'' COLLATE NOCASE")})
        .inListOrder(kListOrder);
}

TableQuery ndbCandidates(const QString& food) {
    const std::u32string folded = foldedText(food);
    // NDB numbers are digits: the index (in the column's own order) serves them. A text with
    // letters needs NOCASE, which reads the whole column.
    bool caseless = true;
    for (const char32_t c : folded) caseless = caseless && c < 0x80 && !isAsciiLetter(c);
    // Whole rows, so that the find step compares the NDB numbers of the candidates only.
    return candidates(QStringLiteral("NDB_NO"), folded,
                      caseless ? QStringLiteral("BINARY") : QStringLiteral("NOCASE"))
        .inListOrder(kListOrder)
        .wholeRows();
}

FoodMatch findFood(DataControl& data, const QString& food) {
    if (food.isEmpty()) return {};
    try {
        data.RecordSource = descriptionCandidates(food);
        data.Refresh();
        if (const FoodMatch m = findByDescription(data, food); m.found) return m;
        data.RecordSource = kNdbNotText;
        data.Refresh();
        if (data.recordset().RecordCount() == 0) {
            data.RecordSource = ndbCandidates(food);
            data.Refresh();
            return findByNdbNumber(data, food);
        }
    } catch (const RunTimeError&) {
        // A table that cannot be opened is not tried again.
        if (!data.isOpen()) throw;
        // A table these queries do not suit, such as a view without row keys: the window's way.
    }
    return findFoodInList(data, food);
}

FoodMatch findFoodInList(DataControl& data, const QString& food) {
    if (food.isEmpty()) return {};
    data.RecordSource = kLoadQuery;
    data.Refresh();
    if (const FoodMatch m = findByDescription(data, food); m.found) return m;
    return findByNdbNumber(data, food);
}

QStringList similarFoods(DataControl& data, const QString& food, qsizetype most) {
    const std::vector<std::u32string> words = wordsOf(foldedText(food));
    if (words.empty() || most <= 0) return {};
    // The whole list, as the window shows it: a misspelt name has no index to narrow it.
    data.RecordSource = kLoadQuery;
    data.Refresh();
    const Recordset& rs = data.recordset();
    // Of the foods that hold every word, those whose description begins with the words in turn
    // ("Milk, whole" for "milk whole"), then those that begin with the first word, then the
    // others: in a large table the first few in the list would otherwise be any that mention
    // them ("Babyfood, ... prepared with whole milk").
    std::array<std::vector<int>, 3> tiers;
    for (int row = 0; row < rs.RecordCount() && qsizetype(tiers[0].size()) < most; ++row) {
        const std::u32string description = foldedCodePoints(rs.descriptionUtf8(row));
        if (!std::all_of(words.begin(), words.end(), [&](const std::u32string& w) {
                return description.find(w) != std::u32string::npos;
            }))
            continue;
        const std::vector<std::u32string> own = wordsOf(description);
        const auto begins = [&](std::size_t i) {
            return i < own.size() && own[i].starts_with(words[i]);
        };
        std::size_t inTurn = 0;
        while (inTurn < words.size() && begins(inTurn)) ++inTurn;
        auto& tier = tiers[inTurn == words.size() ? 0 : inTurn > 0 ? 1 : 2];
        if (qsizetype(tier.size()) < most) tier.push_back(row);
    }
    std::vector<int> chosen;
    for (const auto& tier : tiers)
        for (std::size_t i = 0; i < tier.size() && qsizetype(chosen.size()) < most; ++i)
            chosen.push_back(tier[i]);
    std::sort(chosen.begin(), chosen.end());  // named in the list's order
    QStringList similar;
    for (const int row : chosen) similar << rs.description(row);
    return similar;
}

}  // namespace velmora
