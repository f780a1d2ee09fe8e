#include "clock.h"

QDate SystemClock::today() const
{
    return QDate::currentDate();
}
