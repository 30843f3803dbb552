#pragma once
#include <QString>
namespace vmtest {
// Where the shared picture corpus lives, or an empty string when it is absent.
QString corpusDir();
}
