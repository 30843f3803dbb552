#include "platform/metafile/playbudget.h"

#include <algorithm>
#include <cmath>

#include "platform/runtimeerror.h"

namespace vm {

PlayBudget::PlayBudget(qint64 fileBytes)
    : m_limit(kBaseUnits + kUnitsPerByte * double(std::max<qint64>(0, fileBytes)))
{
    m_clock.start();
}

bool PlayBudget::charge(double units)
{
    if (m_spent)
        return false;
    m_used += units;
    // The clock is read now and then only: it is the safety net, not the bound.
    if (!(units >= 0 && m_used <= m_limit)) // also a NaN price
        m_spent = true;
    else if ((++m_charges & 255) == 0 && m_clock.elapsed() > kSafetyNetMs)
        m_spent = m_timedOut = true;
    return !m_spent;
}

void PlayBudget::raiseIfSpent() const
{
    if (m_spent)
        raise(Err::PictureTooComplex);
}

} // namespace vm
