#include "search/GuiResources.h"

#include <QtCore/qresource.h>

void InitGuiResources()
{
    static const bool done = [] {
        Q_INIT_RESOURCE(vestrana);
        Q_INIT_RESOURCE(help);
        return true;
    }();
    (void)done;
}
