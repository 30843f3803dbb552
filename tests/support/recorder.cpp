#include "support/recorder.h"

namespace vmtest {

MsgBoxRecorder::MsgBoxRecorder()
{
    m_previous = vm::setMsgBoxHandler([this](const vm::MsgBoxCall &call) {
        m_calls.append(call);
        return vm::MsgBoxResult::OK;
    });
}

MsgBoxRecorder::~MsgBoxRecorder()
{
    vm::setMsgBoxHandler(m_previous);
}

int MsgBoxRecorder::errorBoxes() const
{
    int n = 0;
    for (const auto &c : m_calls)
        if (c.icon == vm::MsgBoxIcon::Critical && c.title == QStringLiteral("エラー"))
            ++n;
    return n;
}

} // namespace vmtest
