// SPDX-License-Identifier: GPL-3.0-or-later
// The French food composition table Ciqual (Anses) in its XML form: in one folder the foods
// (alim_DATE.xml), the constituents (const_DATE.xml) and the amounts (compo_DATE.xml), beside
// which the food groups (alim_grp_DATE.xml) and the sources are not needed. Releases differ: 2017
// and 2020 are in code page 1252 with CRLF lines, 2025 in UTF-8 with a byte order mark; values are
// padded with blanks and use a decimal comma; element names are lower case, or upper case in one
// release. Ciqual gives no household measures.
#include "tools/sources/nationaltable.h"
#include "tools/sources/readers.h"

#include "common/outsidetext.h"
#include "tools/formats/recordscanner.h"
#include "tools/formats/xmlrecords.h"

#include <QRegularExpression>

#include <array>
#include <unordered_map>

namespace velmora::mkdb {

namespace {

// Ciqual's constituent codes (const_code, the same in every release; INFOODS tagnames come only
// with 2025), kcal before kJ.
constexpr std::array<NutrientMapping, 31> kCiqualNutrients{{
    {"400", columnIndex("WATER")},        {"328", columnIndex("ENERG_KCAL")},
    {"327", columnIndex("ENERG_KCAL")},   {"25000", columnIndex("PROTEIN")},
    {"40000", columnIndex("TOT_LIPID")},  {"31000", columnIndex("CARBOHYDRT")},
    {"34100", columnIndex("FIBER_TD")},   {"10000", columnIndex("ASH")},
    {"10200", columnIndex("CALCIUM")},    {"10150", columnIndex("PHOSPHORUS")},
    {"10260", columnIndex("IRON")},       {"10110", columnIndex("SODIUM")},
    {"10190", columnIndex("POTASSIUM")},  {"10120", columnIndex("MAGNESIUM")},
    {"10300", columnIndex("ZINC")},       {"10290", columnIndex("COPPER")},
    {"10251", columnIndex("MANGANESE")},  {"10340", columnIndex("SELENIUM")},
    {"53100", columnIndex("VIT_E")},      {"56100", columnIndex("THIAMIN")},
    {"56200", columnIndex("RIBOFLAVIN")}, {"56310", columnIndex("NIACIN")},
    {"56400", columnIndex("PANTO_ACID")}, {"56500", columnIndex("VIT_B6")},
    {"56700", columnIndex("FOLATE")},     {"56600", columnIndex("VIT_B12")},
    {"55100", columnIndex("VIT_C")},      {"40302", columnIndex("FA_SAT")},
    {"40303", columnIndex("FA_MONO")},    {"40304", columnIndex("FA_POLY")},
    {"75100", columnIndex("CHOLESTRL")},
}};

struct CiqualFiles {
    QString alim, constituents, compo;
    QString version;
};

// The file kinds, as their names start.
constexpr std::array<QLatin1StringView, 3> kPrefixes{
    QLatin1StringView("alim_"), QLatin1StringView("const_"), QLatin1StringView("compo_")};

// The names in `names` of the kind `prefix` ("alim_2020_07_07.xml"), ignoring case; the food
// groups' alim_grp_ file is none of the foods'.
QStringList namesOfKind(const QStringList& names, QLatin1StringView prefix) {
    QStringList found;
    for (const QString& name : names)
        if (name.startsWith(prefix, Qt::CaseInsensitive) &&
            name.endsWith(QLatin1StringView(".xml"), Qt::CaseInsensitive) &&
            !name.startsWith(QLatin1StringView("alim_grp_"), Qt::CaseInsensitive))
            found << name;
    return found;
}

// "2020-07-07" of "alim_2020_07_07.xml" and "alim_2017 11 21.xml"; the part after the prefix as
// it is when it is no date.
QString releaseDate(const QString& name, QLatin1StringView prefix) {
    const QString part = name.sliced(prefix.size(), name.size() - prefix.size() - 4);
    static const QRegularExpression date(QStringLiteral("^(\\d{4})\\D?(\\d{2})\\D?(\\d{2})$"));
    const QRegularExpressionMatch m = date.match(part);
    return m.hasMatch()
               ? QStringLiteral("%1-%2-%3").arg(m.captured(1), m.captured(2), m.captured(3))
               : part.trimmed();
}

CiqualFiles findFiles(const QString& folder) {
    const QStringList names = folderNames(folder, true);
    std::array<QString, 3> paths;
    QString version, first;
    for (std::size_t k = 0; k < kPrefixes.size(); ++k) {
        const QStringList found = namesOfKind(names, kPrefixes[k]);
        if (found.isEmpty())
            throw Fault{{inFolder(folder, kPrefixes[k] + QStringLiteral("*.xml")), 1, 1,
                         QStringLiteral("cannot read: no such file in the folder")}};
        if (found.size() > 1)
            throw Fault{{inFolder(folder, found[1]), 1, 1,
                         QStringLiteral("a second %1 file beside %2: one release per folder")
                             .arg(kPrefixes[k], printable(found[0]))}};
        paths[k] = inFolder(folder, found[0]);
        const QString date = releaseDate(found[0], kPrefixes[k]);
        if (k == 0) {
            version = date;
            first = found[0];
        } else if (date != version) {
            throw Fault{{paths[k], 1, 1,
                         QStringLiteral("of the release \"%1\", but %2 is of \"%3\"")
                             .arg(printable(date), printable(first), printable(version))}};
        }
    }
    return {paths[0], paths[1], paths[2], version};
}

// The unit in a constituent's name: "mg" of "Sodium (mg/100 g)".
Unit unitInName(const QString& name) {
    const qsizetype open = name.lastIndexOf(u'(');
    if (open < 0) return Unit::Unknown;
    const QStringView inside = QStringView(name).sliced(open + 1);
    const qsizetype slash = inside.indexOf(u'/');
    return slash < 0 ? Unit::Unknown : unitNamed(inside.first(slash));
}

// A file of one kind without a single record: another file, or a download cut short.
Fault noRecords(const XmlInput& in, const char* record) {
    return Fault{
        {in.name(), in.line(), 1, QStringLiteral("no %1 records").arg(QLatin1StringView(record))}};
}

struct Constituent {
    QString code;  // shared by every amount of it
    Unit unit = Unit::Unknown;
    int index = 0;
    int rank = -1;       // in the mapping; -1: without a column
    bool noted = false;  // as without a column
};

// Codes looked up by the UTF-8 text of a record, without a string made for each.
struct CodeHash {
    using is_transparent = void;
    std::size_t operator()(std::string_view code) const {
        return std::hash<std::string_view>()(code);
    }
};
template <typename T>
using ByCode = std::unordered_map<std::string, T, CodeHash, std::equal_to<>>;

class CiqualReader {
  public:
    explicit CiqualReader(const QString& folder) : files_(findFiles(folder)) {}

    Built read(const QString& language, const RowSink& sink) {
        NationalTable table(source(), language, sink);
        readConstituents(table);
        readFoods(table);
        readAmounts(table);
        table.addKept();
        return table.result(notes_);
    }

  private:
    NationalSource source() const {
        return {
            .name = QStringLiteral("Ciqual French food composition table"),
            .shortName = QStringLiteral("Ciqual"),
            .version = files_.version,
            .citation = QStringLiteral("Anses. %1. Ciqual French food composition table")
                            .arg(files_.version),
            .carbohydrate = QStringLiteral("available carbohydrate (Ciqual 31000, Glucides), as "
                                           "published"),
            .notes = {},
            .noticeRequired = false,
            .nutrients = kCiqualNutrients,
        };
    }

    void noteRepairs(qsizetype repaired, const QString& file) {
        if (repaired > 0)
            notes_ << QStringLiteral("%1 bare \"<\" or \"&\" in %2 read as characters")
                          .arg(repaired)
                          .arg(printableLine(file));
    }

    void readConstituents(const NationalTable& table) {
        XmlRecords<3> in(files_.constituents, "CONST",
                         {"const_code", "const_nom_fr", "const_nom_eng"});
        while (in.next()) {
            const std::string_view code = in.required(0);
            Unit unit = unitInName(in.text(2));
            if (unit == Unit::Unknown) unit = unitInName(in.text(1));
            if (constituents_.contains(code))
                throw in.fault(
                    0,
                    QStringLiteral("constituent %1 listed twice").arg(printable(fromUtf8(code))));
            const QString id = fromUtf8(code);
            constituents_.emplace(
                code, Constituent{id, unit, int(constituents_.size()), table.rankOf(id), false});
        }
        if (constituents_.empty()) throw noRecords(in.input(), "<CONST>");
        noteRepairs(in.repaired(), files_.constituents);
    }

    void readFoods(NationalTable& table) {
        XmlRecords<4> in(files_.alim, "ALIM",
                         {"alim_code", "alim_nom_fr", "alim_nom_eng", "alim_grp_code"});
        while (in.next()) {
            const QString code = fromUtf8(in.required(0));
            if (in[1].empty() && in[2].empty())
                throw in.fault(1, QStringLiteral("food %1 has no name").arg(printable(code)));
            if (foodIndex_.contains(in[0]))
                throw in.fault(0, QStringLiteral("food %1 listed twice").arg(printable(code)));
            foodIndex_.emplace(in[0], int(table.keptCount()));
            table.keep(
                {code,
                 in.text(3),
                 {{QLatin1StringView("fr"), in.text(1)}, {QLatin1StringView("en"), in.text(2)}},
                 {},
                 {}});
        }
        if (foodIndex_.empty()) throw noRecords(in.input(), "<ALIM>");
        noteRepairs(in.repaired(), files_.alim);
    }

    void readAmounts(NationalTable& table) {
        XmlRecords<3> in(files_.compo, "COMPO", {"alim_code", "const_code", "teneur"});
        // The constituents each food was given: a bit each, grown as far as its records reach.
        std::vector<std::vector<std::uint64_t>> seen(std::size_t(table.keptCount()));
        qsizetype orphans = 0, records = 0;
        // A release lists a food's amounts together: the food looked up last is looked up again.
        std::string lastFood;
        int food = -1;
        while (in.next()) {
            ++records;
            const std::string_view code = in.required(0);
            const std::string_view constituentCode = in.required(1);
            if (food < 0 || code != lastFood) {
                const auto found = foodIndex_.find(code);
                food = found == foodIndex_.end() ? -1 : found->second;
                lastFood = code;
            }
            if (food < 0) {
                ++orphans;
                continue;
            }
            auto constituent = constituents_.find(constituentCode);
            if (constituent == constituents_.end()) {
                const QString id = fromUtf8(constituentCode);
                constituent = constituents_
                                  .emplace(constituentCode,
                                           Constituent{id, Unit::Unknown, int(constituents_.size()),
                                                       table.rankOf(id), false})
                                  .first;
            }
            Constituent& c = constituent->second;
            std::vector<std::uint64_t>& given = seen[std::size_t(food)];
            const auto word = std::size_t(c.index) / 64;
            const std::uint64_t bit = std::uint64_t(1) << (c.index % 64);
            if (given.size() <= word) given.resize(word + 1);
            if ((std::exchange(given[word], given[word] | bit) & bit) != 0)
                throw in.fault(1, QStringLiteral("food %1: constituent %2 given twice")
                                      .arg(printable(fromUtf8(code)), printable(c.code)));
            QString problem;
            const auto amount = readMarkedAmount(in[2], ',', problem);
            if (amount)
                problem = conversionProblem(kCiqualNutrients, c.code, c.unit, amount->value);
            if (!amount || !problem.isEmpty())
                throw in.fault(2, QStringLiteral("teneur: ") +
                                      (amount ? quoted(in[2]) + u' ' + problem : problem));
            // One without a column is counted once.
            if (c.rank >= 0 || !std::exchange(c.noted, true))
                table.amount(std::size_t(food), c.rank, {c.code, c.unit, *amount});
        }
        if (records == 0) throw noRecords(in.input(), "<COMPO>");
        if (orphans > 0)
            notes_ << counted(orphans, u"amount") + QStringLiteral(" of foods not in %1 skipped")
                                                        .arg(printableLine(files_.alim));
        noteRepairs(in.repaired(), files_.compo);
    }

    CiqualFiles files_;
    ByCode<Constituent> constituents_;
    ByCode<int> foodIndex_;
    QStringList notes_;
};

}  // namespace

QStringList ciqualInputFiles(const QString& folder) {
    const QStringList names = folderNames(folder, false);
    QStringList paths;
    for (const QLatin1StringView prefix : kPrefixes)
        for (const QString& name : namesOfKind(names, prefix)) paths << inFolder(folder, name);
    return paths;
}

Built readCiqual(const QString& folder, const QString& language, const RowSink& sink) {
    return CiqualReader(folder).read(language, sink);
}

}  // namespace velmora::mkdb
