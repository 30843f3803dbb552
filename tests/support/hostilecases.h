// The catalogue of hostile file-system objects and files behind a picture
// name. Each case starts as an ordinary picture that the folder listing sees,
// and is then "armed": replaced by the hostile object, as a file changed or
// swapped between listing and click would be.
#pragma once

#include <QList>
#include <QString>

#include <functional>

#include "platform/runtimeerror.h"

namespace vmtest {

struct HostileCase {
    QString name; // what the case is, for the test row
    QString fileName; // the name the hostile object carries, a listed picture name
    // True when every loader must refuse it; false when a loader may also
    // accept it (metafiles a player can show, pictures cut inside the data).
    bool mustFail = true;
    // The error number expected when it fails; 0 when more than one is sound.
    int expected = 0;
    // Replaces the object at `path` with the hostile one.
    std::function<void(const QString &path)> arm;
};

QList<HostileCase> hostileCases();

} // namespace vmtest
