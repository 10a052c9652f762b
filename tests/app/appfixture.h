// SPDX-License-Identifier: GPL-3.0-or-later
// A main window over a small food table made by the test.
#pragma once

#include "app/formb.h"
#include "fixturedb.h"

#include <QTemporaryDir>

#include <memory>

namespace velmora::test {

// Foods of the fixture table, in the order the list shows them.
QList<FixtureFood> browseFoods();

class AppFixture {
  public:
    explicit AppFixture(const QList<FixtureFood>& foods = browseFoods(),
                        DailyValueRule dailyValues = DailyValueRule::Fda1993);
    // The main window after its load step.
    FormB& form() { return *form_; }
    QString folder() const { return dir_.path(); }
    QString databasePath() const { return dir_.filePath("Velmora.mdb"); }
    QStringList listRows() const;
    int selectedRow() const;
    void selectRow(int row);

  private:
    QTemporaryDir dir_;
    std::unique_ptr<FormB> form_;
};

}  // namespace velmora::test
