// Number formatting with a picture string, as the form runtime offers it.
#pragma once

#include <QString>

namespace vm {

// Formats `value` by a pattern of '0' (digit always shown), '#' (digit shown
// when significant) and '.' (the locale's decimal separator), e.g. "0.0#":
// at least one integer digit, one or two decimals, no grouping. The value is
// rounded to the number of decimal places the pattern allows.
QString Format(double value, const QString &pattern);

} // namespace vm
