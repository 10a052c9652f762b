// SPDX-License-Identifier: GPL-3.0-or-later
// Writes the food table as an SQLite database with the table CSR14.
#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <functional>
#include <optional>

#include "fooddb/sourcerecord.h"
#include "tools/sources/foodrow.h"

namespace velmora::mkdb {

// The database file a build makes. open() comes before any input is read, so a refused output or
// one whose temporary file cannot be made costs no work. write() builds the whole database in the
// temporary file in one transaction and renames it over the output only when everything
// succeeded: a failed or interrupted (SIGINT, SIGTERM, SIGHUP) build leaves no partial file and no
// temporary file, and an output that existed before stays as it was. Both return the error text,
// naming the output. A build killed outright (SIGKILL) leaves its temporary file; the writer holds
// a lock on it for its whole life, and a later open() in the same folder removes such files whose
// writer is gone.
class DatabaseOutput {
  public:
    DatabaseOutput() = default;
    ~DatabaseOutput();
    DatabaseOutput(const DatabaseOutput&) = delete;
    DatabaseOutput& operator=(const DatabaseOutput&) = delete;

    // Refuses an `outPath` that exists and is not a regular file, and one that is the same file as
    // one of `inputs` however it is named. A symbolic link to a regular file is written through:
    // the file it leads to is replaced and the link stays.
    std::optional<QString> open(const QString& outPath, const QStringList& inputs);

    // Runs `produce`, which hands the rows to the sink it is given one at a time (each is written
    // as it comes) and returns where they come from: written as the table Source. Then, when
    // given, `more` with the path of the table written so far (indexed and analysed, the
    // program's data control can read it) and a sink for further rows, each of which the next
    // read of the table sees. A Fault (or any exception) from either passes through and nothing
    // is kept.
    using Produce = std::function<std::optional<SourceRecord>(const RowSink&)>;
    using MoreRows = std::function<void(const QString& table, const RowSink&)>;
    std::optional<QString> write(const Produce& produce, const MoreRows& more = {});

  private:
    QString outPath_;    // as given, for messages
    QByteArray target_;  // the file replaced: outPath_ with symbolic links resolved
    // Encoded once, as the interrupt handler removes them by these very bytes.
    QByteArray tempPath_;
    QByteArray journalPath_;
    int lock_ = -1;  // the temporary file, locked while this writer lives
    bool renamed_ = false;
};

}  // namespace velmora::mkdb
