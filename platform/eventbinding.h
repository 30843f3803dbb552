// Binds a window's event procedures to its controls by name: a slot of the
// window class named Control_Event (File1_Click, Text1_KeyDown, a menu item's
// BackMenu_Click) is connected to the signal Event of the child object named
// Control, as the runtime of a form does. Each procedure runs inside the
// runtime's one error trap (runEvent).
#pragma once

#include <QStringList>

class QObject;

namespace vm {

// Connects every event procedure declared as a slot by the window's own class.
// A procedure whose control or event does not exist, or whose arguments do not
// match the event's, is not connected; the returned list says what is wrong
// with each (empty when all are bound). The procedures Form_Load and
// Form_Unload are run by the runtime itself and are left alone.
QStringList bindEventProcedures(QObject *window);

} // namespace vm
