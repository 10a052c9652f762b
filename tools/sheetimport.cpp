// SPDX-License-Identifier: GPL-3.0-or-later
#include "tools/sheetimport.h"

#include "common/outsidetext.h"
#include "common/utf8text.h"
#include "tools/xlsxreader.h"

#include <QHash>
#include <QRegularExpression>

#include <algorithm>
#include <array>
#include <optional>
#include <string_view>
#include <vector>

namespace velmora::mkdb {

namespace {

// A nutrient a workbook names, the column it goes to, and its unit where the workbook states
// none.
struct SheetNutrient {
    std::string_view nutrient;
    int column;
    Unit unit = Unit::Unknown;
};

template <std::size_t N>
constexpr std::array<NutrientMapping, N> mappingOf(const std::array<SheetNutrient, N>& nutrients) {
    std::array<NutrientMapping, N> mapping{};
    for (std::size_t i = 0; i < N; ++i) mapping[i] = {nutrients[i].nutrient, nutrients[i].column};
    return mapping;
}

// CoFID's tagnames. The sheets give no units, so they are those of the dataset's documentation
// (per 100 g: g, mg for most minerals and vitamins, µg for selenium, folate and B12).
constexpr Unit g = Unit::Gram, mg = Unit::Milligram, ug = Unit::Microgram;
constexpr std::array<SheetNutrient, 30> kCofid{{
    {"WATER", columnIndex("WATER"), g},
    {"KCALS", columnIndex("ENERG_KCAL"), Unit::Kilocalorie},
    {"KJ", columnIndex("ENERG_KCAL"), Unit::Kilojoule},
    {"PROT", columnIndex("PROTEIN"), g},
    {"FAT", columnIndex("TOT_LIPID"), g},
    {"CHO", columnIndex("CARBOHYDRT"), g},
    {"AOACFIB", columnIndex("FIBER_TD"), g},
    {"CA", columnIndex("CALCIUM"), mg},
    {"P", columnIndex("PHOSPHORUS"), mg},
    {"FE", columnIndex("IRON"), mg},
    {"NA", columnIndex("SODIUM"), mg},
    {"K", columnIndex("POTASSIUM"), mg},
    {"MG", columnIndex("MAGNESIUM"), mg},
    {"ZN", columnIndex("ZINC"), mg},
    {"CU", columnIndex("COPPER"), mg},
    {"MN", columnIndex("MANGANESE"), mg},
    {"SE", columnIndex("SELENIUM"), ug},
    {"VITE", columnIndex("VIT_E"), mg},
    {"THIA", columnIndex("THIAMIN"), mg},
    {"RIBO", columnIndex("RIBOFLAVIN"), mg},
    {"NIAC", columnIndex("NIACIN"), mg},
    {"PANTO", columnIndex("PANTO_ACID"), mg},
    {"VITB6", columnIndex("VIT_B6"), mg},
    {"FOLT", columnIndex("FOLATE"), ug},
    {"VITB12", columnIndex("VIT_B12"), ug},
    {"VITC", columnIndex("VIT_C"), mg},
    {"SATFOD", columnIndex("FA_SAT"), g},
    {"MONOFOD", columnIndex("FA_MONO"), g},
    {"POLYFOD", columnIndex("FA_POLY"), g},
    {"CHOL", columnIndex("CHOLESTRL"), mg},
}};
constexpr auto kCofidMapping = mappingOf(kCofid);

// BLS's EuroFIR tagnames; the units are in the headers. Alpha-tocopherol before vitamin E
// activity, as the column holds the former where a table has it.
constexpr std::array<SheetNutrient, 32> kBls{{
    {"WATER", columnIndex("WATER")},       {"ENERCC", columnIndex("ENERG_KCAL")},
    {"ENERCJ", columnIndex("ENERG_KCAL")}, {"PROT625", columnIndex("PROTEIN")},
    {"FAT", columnIndex("TOT_LIPID")},     {"CHO", columnIndex("CARBOHYDRT")},
    {"FIBT", columnIndex("FIBER_TD")},     {"ASH", columnIndex("ASH")},
    {"CA", columnIndex("CALCIUM")},        {"P", columnIndex("PHOSPHORUS")},
    {"FE", columnIndex("IRON")},           {"NA", columnIndex("SODIUM")},
    {"K", columnIndex("POTASSIUM")},       {"MG", columnIndex("MAGNESIUM")},
    {"ZN", columnIndex("ZINC")},           {"CU", columnIndex("COPPER")},
    {"MN", columnIndex("MANGANESE")},      {"SE", columnIndex("SELENIUM")},
    {"TOCPHA", columnIndex("VIT_E")},      {"VITE", columnIndex("VIT_E")},
    {"THIA", columnIndex("THIAMIN")},      {"RIBF", columnIndex("RIBOFLAVIN")},
    {"NIA", columnIndex("NIACIN")},        {"PANTAC", columnIndex("PANTO_ACID")},
    {"VITB6", columnIndex("VIT_B6")},      {"FOL", columnIndex("FOLATE")},
    {"VITB12", columnIndex("VIT_B12")},    {"VITC", columnIndex("VIT_C")},
    {"FASAT", columnIndex("FA_SAT")},      {"FAMS", columnIndex("FA_MONO")},
    {"FAPU", columnIndex("FA_POLY")},      {"CHORL", columnIndex("CHOLESTRL")},
}};
constexpr auto kBlsMapping = mappingOf(kBls);

// AFCD's headers without their unit, as headerKey compares them. Energy only in kJ.
constexpr std::array<SheetNutrient, 30> kAfcd{{
    {"moisture (water)", columnIndex("WATER")},
    {"energy with dietary fibre, equated", columnIndex("ENERG_KCAL")},
    {"protein", columnIndex("PROTEIN")},
    {"fat, total", columnIndex("TOT_LIPID")},
    {"available carbohydrate, with sugar alcohols", columnIndex("CARBOHYDRT")},
    {"total dietary fibre", columnIndex("FIBER_TD")},
    {"ash", columnIndex("ASH")},
    {"calcium (ca)", columnIndex("CALCIUM")},
    {"phosphorus (p)", columnIndex("PHOSPHORUS")},
    {"iron (fe)", columnIndex("IRON")},
    {"sodium (na)", columnIndex("SODIUM")},
    {"potassium (k)", columnIndex("POTASSIUM")},
    {"magnesium (mg)", columnIndex("MAGNESIUM")},
    {"zinc (zn)", columnIndex("ZINC")},
    {"copper (cu)", columnIndex("COPPER")},
    {"manganese (mn)", columnIndex("MANGANESE")},
    {"selenium (se)", columnIndex("SELENIUM")},
    {"vitamin e", columnIndex("VIT_E")},
    {"thiamin (b1)", columnIndex("THIAMIN")},
    {"riboflavin (b2)", columnIndex("RIBOFLAVIN")},
    {"niacin (b3)", columnIndex("NIACIN")},
    {"pantothenic acid (b5)", columnIndex("PANTO_ACID")},
    {"pyridoxine (b6)", columnIndex("VIT_B6")},
    {"total folates", columnIndex("FOLATE")},
    {"cobalamin (b12)", columnIndex("VIT_B12")},
    {"vitamin c", columnIndex("VIT_C")},
    {"total saturated fatty acids, equated", columnIndex("FA_SAT")},
    {"total monounsaturated fatty acids, equated", columnIndex("FA_MONO")},
    {"total polyunsaturated fatty acids, equated", columnIndex("FA_POLY")},
    {"cholesterol", columnIndex("CHOLESTRL")},
}};
constexpr auto kAfcdMapping = mappingOf(kAfcd);

// The text of the current row's cell in `column`, blanks around it removed; empty for none.
QString textAt(const XlsxSheet& sheet, int column) {
    const XlsxCell* cell = column >= 0 ? sheet.cell(column) : nullptr;
    return cell ? fromUtf8(cell->text).trimmed() : QString();
}

// A header as headers are compared: blanks and line breaks collapsed, case ignored.
QString headerKey(const QString& text) {
    return text.simplified().toCaseFolded();
}

QString quotedList(const QStringList& names) {
    QStringList quoted;
    for (const QString& name : names) quoted << u'"' + printable(name) + u'"';
    return quoted.join(u", ");
}

// A fault of the sheet as a whole, at the row read last.
Fault sheetFault(const XlsxWorkbook& book, const XlsxSheet& sheet, const QString& what) {
    return Fault{{book.fileName(), std::max<qsizetype>(sheet.row(), 1), 1,
                  QStringLiteral("sheet \"%1\": %2").arg(printable(sheet.name()), what)}};
}

// `hint` is "one whose name starts with ...; " where a prefix finds the sheet.
Fault noSheet(const XlsxWorkbook& book, const QString& what, const QString& hint = {}) {
    return Fault{{book.fileName(), 1, 1,
                  QStringLiteral("the workbook has no %1 (%2its sheets: %3)")
                      .arg(what, hint, quotedList(book.sheetNames()))}};
}

// Reads the sheet's next row, which must be there: `what` names it.
void needRow(const XlsxWorkbook& book, XlsxSheet& sheet, const char* what) {
    if (!sheet.next())
        throw sheetFault(book, sheet, QStringLiteral("no %1").arg(QLatin1StringView(what)));
}

// The column of the current row headed `name`, or -1.
int columnHeaded(const XlsxSheet& sheet, QStringView name) {
    const QString key = headerKey(name.toString());
    for (const XlsxCell& cell : sheet.cells())
        if (headerKey(fromUtf8(cell.text)) == key) return cell.column;
    return -1;
}

int requiredColumn(const XlsxWorkbook& book, const XlsxSheet& sheet, QStringView name) {
    const int column = columnHeaded(sheet, name);
    if (column < 0)
        throw sheetFault(book, sheet,
                         QStringLiteral("no column \"%1\" in the header row").arg(name));
    return column;
}

// The columns of a sheet that hold amounts, and the reading of a row's amounts.
class AmountColumns {
  public:
    void add(int column, const QString& nutrient, Unit unit, const QString& header) {
        if (column >= int(slots_.size())) slots_.resize(std::size_t(column) + 1, -1);
        slots_[std::size_t(column)] = int(columns_.size());
        columns_.push_back({nutrient, unit, printable(header.simplified())});
    }
    bool isEmpty() const { return columns_.empty(); }
    bool has(const QString& nutrient) const {
        return std::any_of(columns_.begin(), columns_.end(),
                           [&](const Column& c) { return c.nutrient == nutrient; });
    }

    // Appends the current row's amounts to `amounts`; a cell that is no amount is refused.
    void read(const XlsxSheet& sheet, std::vector<SourceAmount>& amounts) const {
        for (const XlsxCell& cell : sheet.cells()) {
            const int slot =
                cell.column < int(slots_.size()) ? slots_[std::size_t(cell.column)] : -1;
            if (slot < 0) continue;
            const Column& c = columns_[std::size_t(slot)];
            const auto amount = marked(sheet, cell, c.header);
            amounts.push_back({c.nutrient, c.unit, amount});
        }
    }

  private:
    // A number cell as the number it holds; a text cell as agencies mark amounts.
    static MarkedAmount marked(const XlsxSheet& sheet, const XlsxCell& cell,
                               const QString& header) {
        QString problem;
        if (cell.type == XlsxCell::Type::Number) {
            const Amount amount = cell.amount();
            if (amount.problem.isEmpty()) return {Marker::Value, amount.value};
            problem = quotedCell(cell.text) + u' ' + amount.problem;
        } else if (const auto amount = readMarkedAmount(cell.text, '.', problem)) {
            return *amount;
        }
        throw Fault{sheet.at(cell.column, header + QStringLiteral(": ") + problem)};
    }

    struct Column {
        QString nutrient;  // shared by every amount read from it
        Unit unit;
        QString header;  // for messages
    };
    std::vector<int> slots_;  // by sheet column: index in columns_, or -1
    std::vector<Column> columns_;
};

// A row's food code; a row with cells but none is refused.
QString requiredCode(const XlsxSheet& sheet, int column, QStringView header) {
    QString code = textAt(sheet, column);
    if (code.isEmpty()) throw Fault{sheet.at(column, QStringLiteral("no %1").arg(header))};
    return code;
}

QString lastMatch(const QString& text, const QRegularExpression& pattern, int group) {
    QString found;
    for (const QRegularExpressionMatch& m : pattern.globalMatch(text)) found = m.captured(group);
    return found;
}

QString fileNameOf(const QString& path) {
    return path.sliced(path.lastIndexOf(u'/') + 1);
}

// --- CoFID ---------------------------------------------------------------------------------

constexpr std::array<const char*, 4> kCofidSheets{"1.3 Proximates", "1.4 Inorganics",
                                                  "1.5 Vitamins", "1.6 Vitamin Fractions"};
// The identifying columns, before the nutrients on every sheet.
constexpr std::array<const char*, 7> kCofidIdentifying{
    "Food Code", "Food Name", "Description", "Group", "Previous", "Main data references",
    "Footnote"};

Unit cofidUnit(const QString& tag) {
    for (const SheetNutrient& n : kCofid)
        if (tag == latin1(n.nutrient)) return n.unit;
    return Unit::Unknown;
}

// The food data sheets: those numbered 1.3 and on ("1.3 Proximates", ...), in their numbers'
// order; the four named ones must be there.
QStringList cofidSheets(const XlsxWorkbook& book) {
    static const QRegularExpression numbered(QStringLiteral("^\\s*1\\.(\\d+)(\\s|$)"));
    std::vector<std::pair<int, QString>> found;
    for (const QString& name : book.sheetNames()) {
        const QRegularExpressionMatch m = numbered.match(name);
        if (m.hasMatch() && m.captured(1).toInt() >= 3)
            found.emplace_back(m.captured(1).toInt(), name);
    }
    std::stable_sort(found.begin(), found.end(),
                     [](const auto& a, const auto& b) { return a.first < b.first; });
    for (const char* wanted : kCofidSheets) {
        const int number = QString::fromLatin1(wanted).section(u' ', 0, 0).sliced(2).toInt();
        if (std::none_of(found.begin(), found.end(),
                         [&](const auto& f) { return f.first == number; }))
            throw noSheet(book, QStringLiteral("sheet \"%1\"").arg(QLatin1StringView(wanted)),
                          QStringLiteral("one whose name starts with \"1.%1\"; ").arg(number));
    }
    QStringList names;
    for (const auto& f : found) names << f.second;
    return names;
}

class CofidReader {
  public:
    explicit CofidReader(const QString& path) : book_(path) {}

    NationalResult read(const QString& language, const RowSink& sink) {
        const QStringList sheets = cofidSheets(book_);
        readFoods(sheets[0]);
        for (qsizetype s = 1; s < sheets.size(); ++s) join(sheets[s], sheets[0]);
        NationalTable table(source(), language, sink);
        for (const NationalFood& food : foods_) table.add(food);
        return table.result(notes_);
    }

  private:
    struct Layout {
        int code = -1, name = -1, group = -1;
        AmountColumns amounts;
    };

    NationalSource source() const {
        static const QRegularExpression year(QStringLiteral("(?<!\\d)((?:19|20)\\d\\d)(?!\\d)"));
        QString edition = lastMatch(fileNameOf(book_.fileName()), year, 1);
        if (edition.isEmpty()) edition = QStringLiteral("2021");
        return {
            .name = QStringLiteral(
                "McCance and Widdowson's The Composition of Foods Integrated Dataset (CoFID)"),
            .version = edition,
            .citation = QStringLiteral("Public Health England (%1). McCance and Widdowson's The "
                                       "Composition of Foods Integrated Dataset %1")
                            .arg(edition),
            .carbohydrate = QStringLiteral("available carbohydrate (CoFID CHO), as published"),
            .notes = QStringLiteral("Contains public sector information licensed under the Open "
                                    "Government Licence v3.0."),
            .noticeRequired = false,
            .nutrients = kCofidMapping,
        };
    }

    // The three header rows: labels (with the identifying columns), tagnames, short labels.
    Layout readHeader(XlsxSheet& sheet, bool foods) {
        Layout layout;
        needRow(book_, sheet, "header row");
        layout.code = requiredColumn(book_, sheet, u"Food Code");
        if (foods) {
            layout.name = requiredColumn(book_, sheet, u"Food Name");
            layout.group = columnHeaded(sheet, u"Group");
        }
        QHash<int, QString> labels;
        for (const XlsxCell& cell : sheet.cells()) labels.insert(cell.column, fromUtf8(cell.text));
        const auto identifying = [&](int column) {
            return std::any_of(
                kCofidIdentifying.begin(), kCofidIdentifying.end(), [&](const char* n) {
                    return headerKey(labels.value(column)) == headerKey(QString::fromLatin1(n));
                });
        };
        needRow(book_, sheet, "tagname row (the second header row)");
        for (const XlsxCell& cell : sheet.cells()) {
            const QString tag = fromUtf8(cell.text).trimmed();
            if (tag.isEmpty() || identifying(cell.column)) continue;
            const QString label = labels.value(cell.column, tag).simplified();
            layout.amounts.add(cell.column, tag, cofidUnit(tag), label.isEmpty() ? tag : label);
        }
        needRow(book_, sheet, "third header row");
        return layout;
    }

    void readFoods(const QString& name) {
        XlsxSheet sheet = book_.sheet(name);
        Layout layout = readHeader(sheet, true);
        while (sheet.next()) {
            NationalFood food;
            food.code = requiredCode(sheet, layout.code, u"Food Code");
            const QString foodName = textAt(sheet, layout.name);
            if (foodName.isEmpty())
                throw Fault{
                    sheet.at(layout.name,
                             QStringLiteral("food %1 has no Food Name").arg(printable(food.code)))};
            food.names.push_back({QLatin1StringView("en"), foodName});
            food.group = textAt(sheet, layout.group);
            layout.amounts.read(sheet, food.amounts);
            byCode_[food.code].push_back(int(foods_.size()));
            foods_.push_back(std::move(food));
        }
        if (foods_.empty()) throw sheetFault(book_, sheet, QStringLiteral("no foods"));
    }

    // Adds the amounts of sheet `name` to the foods: the n-th row of a code to the n-th food of
    // that code.
    void join(const QString& name, const QString& foodsSheet) {
        XlsxSheet sheet = book_.sheet(name);
        Layout layout = readHeader(sheet, false);
        QHash<QString, int> seen;
        qsizetype unjoined = 0;
        while (sheet.next()) {
            const QString code = requiredCode(sheet, layout.code, u"Food Code");
            const std::vector<int>& foods = byCode_.value(code);
            const int occurrence = seen[code]++;
            if (occurrence >= int(foods.size())) {
                ++unjoined;
                continue;
            }
            layout.amounts.read(sheet, foods_[std::size_t(foods[std::size_t(occurrence)])].amounts);
        }
        if (unjoined > 0)
            notes_ << QStringLiteral("%1 of sheet \"%2\" of foods not in \"%3\" skipped")
                          .arg(counted(unjoined, u"row"), printable(name), printable(foodsSheet));
    }

    XlsxWorkbook book_;
    std::vector<NationalFood> foods_;
    QHash<QString, std::vector<int>> byCode_;
    QStringList notes_;
};

// --- BLS -----------------------------------------------------------------------------------

// The first sheet whose first row has a "BLS Code" column, that row read.
XlsxSheet blsSheet(const XlsxWorkbook& book) {
    for (const QString& name : book.sheetNames()) {
        XlsxSheet sheet = book.sheet(name);
        if (sheet.next() && columnHeaded(sheet, u"BLS Code") >= 0) return sheet;
    }
    throw noSheet(book, QStringLiteral("sheet with a \"BLS Code\" column in its first row"));
}

// The English names' column: a header that says English, or "Food name".
int englishColumn(const XlsxSheet& sheet) {
    for (const XlsxCell& cell : sheet.cells()) {
        const QString key = headerKey(fromUtf8(cell.text));
        if (key == u"food name" || key.contains(u"english") || key.contains(u"englisch"))
            return cell.column;
    }
    return -1;
}

NationalSource blsSource() {
    return {
        .name = QStringLiteral("Bundeslebensmittelschlüssel (BLS)"),
        .version = QStringLiteral("4.0"),
        .citation =
            QStringLiteral("Max Rubner-Institut (2025). Bundeslebensmittelschlüssel (BLS) 4.0"),
        .carbohydrate = QStringLiteral(
            "available carbohydrate (BLS CHO, Kohlenhydrate, verfügbar), as published"),
        .notes = QStringLiteral("Licensed under CC BY 4.0 (Creative Commons Attribution 4.0 "
                                "International)."),
        .noticeRequired = false,
        .nutrients = kBlsMapping,
    };
}

// --- AFCD ----------------------------------------------------------------------------------

// "Public Food Key" ... as in the per-100 g sheet's name.
constexpr QStringView kAfcdSheet(u"All solids & liquids per 100");

// The release the file's name or its Index sheet names ("Release 2"); empty when neither does.
QString afcdRelease(const XlsxWorkbook& book) {
    static const QRegularExpression release(QStringLiteral("release\\s*(\\d+)"),
                                            QRegularExpression::CaseInsensitiveOption);
    QString found = lastMatch(fileNameOf(book.fileName()), release, 1);
    if (found.isEmpty() && book.sheetNames().contains(QStringLiteral("Index"))) {
        XlsxSheet index = book.sheet(QStringLiteral("Index"));
        for (int rows = 0; found.isEmpty() && rows < 50 && index.next(); ++rows)
            for (const XlsxCell& cell : index.cells())
                if (found.isEmpty()) found = lastMatch(fromUtf8(cell.text), release, 1);
    }
    return found.isEmpty() ? found : QStringLiteral("Release ") + found;
}

NationalSource afcdSource(const QString& release) {
    const QString version = release.isEmpty() ? QStringLiteral("release not stated") : release;
    return {
        .name = QStringLiteral("Australian Food Composition Database (AFCD)"),
        .version = version,
        .citation = QStringLiteral("Food Standards Australia New Zealand (%1). Australian Food "
                                   "Composition Database")
                        .arg(version),
        .carbohydrate = QStringLiteral("available carbohydrate, with sugar alcohols (AFCD), as "
                                       "published"),
        .notes = QStringLiteral("Licensed under CC BY-SA (Creative Commons Attribution-ShareAlike) "
                                "terms: a table built from it is shared under the same terms."),
        .noticeRequired = false,
        .nutrients = kAfcdMapping,
    };
}

// A header "Calcium (Ca) \n(mg)" as its name ("calcium (ca)", compared as headerKey) and unit.
std::pair<QString, Unit> nameAndUnit(const QString& header) {
    const QString key = headerKey(header);
    const qsizetype open = key.lastIndexOf(u'(');
    if (open <= 0 || !key.endsWith(u')')) return {key, Unit::Unknown};
    const Unit unit = unitNamed(QStringView(key).sliced(open + 1, key.size() - open - 2));
    if (unit == Unit::Unknown) return {key, unit};
    return {key.first(open).trimmed(), unit};
}

bool isAfcdNutrient(const QString& name) {
    return std::any_of(kAfcd.begin(), kAfcd.end(),
                       [&](const SheetNutrient& n) { return name == latin1(n.nutrient); });
}

}  // namespace

NationalResult readCofid(const QString& path, const QString& language, const RowSink& sink) {
    return CofidReader(path).read(language, sink);
}

NationalResult readBls(const QString& path, const QString& language, const RowSink& sink) {
    const XlsxWorkbook book(path);
    XlsxSheet sheet = blsSheet(book);
    const int code = requiredColumn(book, sheet, u"BLS Code");
    const int german = requiredColumn(book, sheet, u"Lebensmittelbezeichnung");
    const int english = englishColumn(sheet);
    static const QRegularExpression nutrient(
        QStringLiteral("^(\\S+)\\s.*\\[\\s*([^\\]/]+?)\\s*/\\s*100\\s*g\\s*\\]$"));
    AmountColumns amounts;
    for (const XlsxCell& cell : sheet.cells()) {
        const QString header = fromUtf8(cell.text).simplified();
        const QRegularExpressionMatch m = nutrient.match(header);
        if (m.hasMatch()) amounts.add(cell.column, m.captured(1), unitNamed(m.captured(2)), header);
    }
    if (amounts.isEmpty())
        throw sheetFault(book, sheet,
                         QStringLiteral("no nutrient column (headed \"TAG name [unit/100g]\")"));
    NationalTable table(blsSource(), language, sink);
    NationalFood food;
    qsizetype foods = 0;
    while (sheet.next()) {
        food.code = requiredCode(sheet, code, u"BLS Code");
        food.group = food.code.first(1);  // the code's letter is its main group
        food.names = {{QLatin1StringView("de"), textAt(sheet, german)},
                      {QLatin1StringView("en"), textAt(sheet, english)}};
        if (food.names[0].text.isEmpty() && food.names[1].text.isEmpty())
            throw Fault{
                sheet.at(german, QStringLiteral("food %1 has no name").arg(printable(food.code)))};
        food.amounts.clear();
        amounts.read(sheet, food.amounts);
        table.add(food);
        ++foods;
    }
    if (foods == 0) throw sheetFault(book, sheet, QStringLiteral("no foods"));
    return table.result();
}

NationalResult readAfcd(const QString& path, const QString& language, const RowSink& sink) {
    const XlsxWorkbook book(path);
    const QString name = book.sheetStartingWith(kAfcdSheet);
    if (name.isEmpty())
        throw noSheet(book, QStringLiteral("sheet \"All solids & liquids per 100g\""),
                      QStringLiteral("one whose name starts with \"%1\"; ").arg(kAfcdSheet));
    XlsxSheet sheet = book.sheet(name);
    needRow(book, sheet, "header row");
    const int key = requiredColumn(book, sheet, u"Public Food Key");
    const int foodName = requiredColumn(book, sheet, u"Food Name");
    const int group = columnHeaded(sheet, u"Classification");
    AmountColumns amounts;
    for (const XlsxCell& cell : sheet.cells()) {
        const QString header = fromUtf8(cell.text);
        if (cell.column == key || cell.column == foodName || cell.column == group) continue;
        // A column without a unit is no amount (a later release may add text columns).
        const auto [nutrient, unit] = nameAndUnit(header);
        if (unit != Unit::Unknown || isAfcdNutrient(nutrient))
            amounts.add(cell.column, nutrient, unit, header);
    }
    QStringList missing;
    for (const SheetNutrient& n : kAfcd)
        if (!amounts.has(latin1(n.nutrient))) missing << latin1(n.nutrient);

    NationalTable table(afcdSource(afcdRelease(book)), language, sink);
    NationalFood food;
    qsizetype foods = 0;
    while (sheet.next()) {
        food.code = requiredCode(sheet, key, u"Public Food Key");
        food.group = textAt(sheet, group);
        food.names = {{QLatin1StringView("en"), textAt(sheet, foodName)}};
        if (food.names[0].text.isEmpty())
            throw Fault{sheet.at(foodName,
                                 QStringLiteral("food %1 has no name").arg(printable(food.code)))};
        food.amounts.clear();
        amounts.read(sheet, food.amounts);
        table.add(food);
        ++foods;
    }
    if (foods == 0) throw sheetFault(book, sheet, QStringLiteral("no foods"));
    QString found = QStringLiteral("%1 of %2 mapped columns found")
                        .arg(qsizetype(kAfcd.size()) - missing.size())
                        .arg(kAfcd.size());
    if (!missing.isEmpty())
        found += QStringLiteral(" (not found, not measured: %1)").arg(quotedList(missing));
    return table.result({found});
}

}  // namespace velmora::mkdb
