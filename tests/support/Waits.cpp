#include "support/Waits.h"

#include <QSignalSpy>

namespace testsupport {

bool StaysQuiet(QSignalSpy& spy, int ms)
{
    return !spy.wait(ms);
}

} // namespace testsupport
