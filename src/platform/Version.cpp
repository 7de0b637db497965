#include "platform/Version.h"

QString ProgramVersion()
{
    return QStringLiteral(VESTRANA_VERSION);
}
