// SPDX-License-Identifier: GPL-3.0-or-later
#include "report/valuearrays.h"

#include "common/numbertext.h"
#include "report/reportlines.h"

namespace velmora {

void FillArray_S(ValueArray& S, const FieldReader& field) {
    for (int i = slot::Description; i <= slot::LastNutrient; ++i) S[i] = field(i);
    S[slot::TotalWeight] = QStringLiteral("100");
}

void setHundredGramValues(ValueArray& S, ValueArray& Z) {
    S[slot::Quantity] = QStringLiteral("0");
    S[slot::Unit] = QStringLiteral("0");
    for (int i = slot::Description; i <= slot::LastNutrient; ++i) Z[i] = S[i];
    Z[slot::Unit] = S[slot::Unit];
    Z[slot::Quantity] = S[slot::Quantity];
    Z[slot::TotalWeight] = S[slot::TotalWeight];
}

QString portionHeader(const ValueArray& Z, const QLocale& locale) {
    // The quantity was written in the user's locale, so "0,25" must not count as zero there.
    if (quantityIsZero(Z[slot::Quantity], locale)) return {};
    return QStringLiteral(" Quantity: ") + Z[slot::Quantity] + CR + QStringLiteral(" Unit: ") +
           Z[slot::Unit] + CR;
}

QString reportText(const ValueArray& Z, QString& svPortionDescrip, const QLocale& locale) {
    svPortionDescrip = portionHeader(Z, locale);

    // Runs on every list click: size the text once instead of growing it line by line.
    qsizetype size = svPortionDescrip.size();
    for (const ReportLine& line : kReportLines) {
        size += line.label.size() + line.suffix.size() + CR.size();
        if (line.slot >= 0) size += Z[line.slot].size();
    }

    QString text;
    text.reserve(size);
    text += svPortionDescrip;
    for (const ReportLine& line : kReportLines) {
        text += line.label;
        if (line.slot >= 0) text += Z[line.slot];
        text += line.suffix;
        text += CR;
    }
    return text;
}

QString withNotice(const QString& report, const QString& notice) {
    if (notice.isEmpty()) return report;
    // A report that ends its last line keeps doing so; one that does not (the annotated report)
    // gets the notice on a line of its own all the same.
    return report.endsWith(CR) ? report + notice + CR : report + CR + notice;
}

}  // namespace velmora
