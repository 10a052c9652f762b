// SPDX-License-Identifier: GPL-3.0-or-later
// The find criterion the program builds: column = 'text', with a single quote inside the text
// written twice. Anything else is an error, never a silent no-match.
#pragma once

#include <QString>

namespace velmora {

struct Criterion {
    QString column;
    QString value;  // quotes undoubled
};

// Throws RunTimeError (3077) when the text is not of that form.
Criterion parseCriterion(const QString& text);

}  // namespace velmora
