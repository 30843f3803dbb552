// Records message boxes instead of showing them, for the life of the object.
#pragma once

#include "platform/msgbox.h"

#include <QList>

namespace vmtest {

class MsgBoxRecorder {
public:
    MsgBoxRecorder();
    ~MsgBoxRecorder();
    MsgBoxRecorder(const MsgBoxRecorder &) = delete;
    MsgBoxRecorder &operator=(const MsgBoxRecorder &) = delete;

    const QList<vm::MsgBoxCall> &calls() const { return m_calls; }
    int count() const { return int(m_calls.size()); }
    void clear() { m_calls.clear(); }
    // Count of error boxes (critical icon, title "エラー").
    int errorBoxes() const;

private:
    QList<vm::MsgBoxCall> m_calls;
    vm::MsgBoxHandler m_previous;
};

} // namespace vmtest
