// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/sourcereport.h"

#include "fooddb/datacontrol.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

namespace velmora {

namespace {

QJsonObject sourceJson(const SourceRecord& r) {
    return {
        {QStringLiteral("name"), r.name},
        {QStringLiteral("version"), r.version},
        {QStringLiteral("citation"), r.citation},
        {QStringLiteral("energy"), r.energy},
        {QStringLiteral("carbohydrate"), r.carbohydrate},
        {QStringLiteral("traces"), r.traces},
        {QStringLiteral("below_limit"), r.belowLimit},
        {QStringLiteral("notes"), r.notes},
        {QStringLiteral("notice_required"), r.noticeRequired},
        {QStringLiteral("short_name"), r.shortName},
        {QStringLiteral("zeros_tested"), r.zerosTested},
    };
}

}  // namespace

ReportOutput sourceReport(DataControl& data, ReportFormat format) {
    // No food is read, but the table must be a food table as for every other command.
    data.RecordSource = TableQuery().where(QStringLiteral("0")).wholeRows();
    data.Refresh();
    const std::optional<SourceRecord> source = data.sourceRecord();
    switch (format) {
        case ReportFormat::Json:
            return {0,
                    jsonText(QJsonObject{
                        {QStringLiteral("source"), source ? sourceJson(*source) : QJsonValue()}}),
                    {}};
        case ReportFormat::Csv: {
            QString out = csvRecord({QStringLiteral("field"), QStringLiteral("value")});
            if (source) {
                const QJsonObject json = sourceJson(*source);
                for (auto it = json.begin(); it != json.end(); ++it)
                    out += csvRecord({it.key(), it.value().toVariant().toString()});
            }
            return {0, out, {}};
        }
        case ReportFormat::Text:
            break;
    }
    QString out;
    for (const QString& line :
         source ? sourceRecordLines(*source) : QStringList{QStringLiteral("no source record")})
        out += lineText(line) + u'\n';
    return {0, out, {}};
}

void addSourceRecord(ReportOutput& output, const std::optional<SourceRecord>& source,
                     ReportFormat format) {
    if (!source || output.out.isEmpty()) return;
    switch (format) {
        case ReportFormat::Json: {
            const QJsonDocument doc = QJsonDocument::fromJson(output.out.toUtf8());
            QJsonObject json =
                doc.isObject() ? doc.object() : QJsonObject{{QStringLiteral("foods"), doc.array()}};
            json[QStringLiteral("source")] = sourceJson(*source);
            if (source->noticeRequired) json[QStringLiteral("notice")] = source->citation;
            output.out = jsonText(json);
            return;
        }
        case ReportFormat::Csv: {
            // The output stays rectangular: the notice is a last column of every record. No
            // field holds a line break (csvRecord escapes them), so records are lines.
            if (!source->noticeRequired) return;
            QStringList records = output.out.split(QStringLiteral("\r\n"));
            records.removeLast();  // after the last record's line end
            output.out.clear();
            for (qsizetype i = 0; i < records.size(); ++i)
                output.out += records[i] + u',' +
                              csvRecord({i == 0 ? QStringLiteral("notice") : source->citation});
            return;
        }
        case ReportFormat::Text:
            if (source->noticeRequired) output.out += lineText(source->citation) + u'\n';
            return;
    }
}

}  // namespace velmora
